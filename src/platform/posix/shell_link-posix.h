#pragma once

#include <string>

#include "platform/shortcut.h"

namespace updater::platform::posix {

// The bytes of a shell link file in the published Shell Link Binary File Format, as small as the
// format allows: the header with the show command, the target in the link information (its
// Unicode copy only when it is not plain ASCII), the working directory and the arguments when
// they are not empty, and the terminal block. Values are stored as given (paths in backslash
// form). False when a value does not fit: a target of 260 UTF-16 characters or more, which
// readers take into a buffer of MAX_PATH, or arguments beyond what the format counts.
bool BuildShellLink(const Shortcut& shortcut, std::string& bytes);

}  // namespace updater::platform::posix
