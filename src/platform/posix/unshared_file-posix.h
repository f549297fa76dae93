#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/posix/internal-posix.h"

namespace updater::platform::posix {

// Opens an engine path for reading as Windows opens a file without sharing: only a regular file,
// and not while another process holds it open. Not open on failure; `status` describes the file.
FileDescriptor OpenUnshared(const std::string& enginePath, struct stat& status);

}  // namespace updater::platform::posix
