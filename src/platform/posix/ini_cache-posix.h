#pragma once

#include <memory>
#include <string>

#include "platform/posix/ini_file-posix.h"

// The one place that keeps parsed settings files between calls. A script asks thousands of
// questions of the same file; each costs one stat() and a lookup, and the file is read again only
// when it has changed.
namespace updater::platform::posix {

// The parsed file at `nativePath`, or nullptr when it is missing or is not a readable regular
// file (a directory, a pipe, a file without read permission).
std::shared_ptr<const IniFile> LoadIniFile(const std::string& nativePath);

}  // namespace updater::platform::posix
