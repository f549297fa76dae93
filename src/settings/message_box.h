#pragma once

#include "core/string.h"

namespace updater {

// Shows a message box with no owner window under the current Caption and returns the answer
// (1 OK, 2 Cancel, 6 Yes, 7 No, 0 when no box could be shown). In an unattended run no box is
// displayed and the answer comes from the answer list. Every box is logged.
int ShowMessage(const String& text, unsigned style);

}  // namespace updater
