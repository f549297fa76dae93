#pragma once

#include "core/string.h"

namespace updater {

// Resolves the marks of a value read from the settings file: symbol references, function calls
// and ".." items.
void ExpandValue(String& text);

}  // namespace updater
