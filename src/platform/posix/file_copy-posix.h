#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>

// Copies that appear complete or not at all: the data goes to a temporary file beside the
// destination, which is then renamed into place.
namespace updater::platform::posix {

// Writes a complete copy of the open regular file `sourceFd` (described by `source`) to a new
// temporary file in `directory`, with its permissions, stored attributes and last-write time
// (and its owner when `keepOwner` is set and the process may give files away). On success
// `temporary` names it; on failure nothing is left behind.
bool WriteTemporaryCopy(int sourceFd, const struct stat& source, const std::string& directory,
                        bool keepOwner, std::string& temporary);

// Makes a new entry under a hidden temporary name in `directory`: `make` creates it at the name
// it is given and fails with EEXIST when the name is taken, which only costs another name. On
// success `temporary` names the entry.
bool MakeTemporaryEntry(const std::string& directory,
                        const std::function<bool(const std::string&)>& make,
                        std::string& temporary);

}  // namespace updater::platform::posix
