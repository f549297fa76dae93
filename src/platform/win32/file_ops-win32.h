#pragma once

#include <string>

namespace updater::platform::win32 {

// How MoveFileOver crosses volumes: a copy beside `to` under a temporary hidden name, renamed into
// place while the old file waits under another name until the source is deleted; when anything
// fails, the old file, the source and nothing else are left. It works on one volume as well.
bool MoveFileByCopy(const std::string& from, const std::string& to);

}  // namespace updater::platform::win32
