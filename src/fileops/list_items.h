#pragma once

#include "core/string.h"

namespace updater {

// Item `index` of a comma-separated key value, spaces trimmed from both ends; empty when the list
// has no such item.
String GetListItem(String& list, int index);

}  // namespace updater
