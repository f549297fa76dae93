#pragma once

#include "core/string.h"

namespace updater {

// True when a directory search finds at least one entry for the path (wildcards honoured; a
// directory counts; a trailing backslash finds nothing).
bool PathExists(const char* path);
// True when the running system is of the NT family.
bool IsNtPlatform();
// The path of a shell special folder by its CSIDL number; false, `out` untouched, when unknown.
bool GetSpecialFolder(void* owner, String& out, int id);
// The text of the path before its last backslash; false, `out` unchanged, when there is no
// backslash or it is the first character.
bool GetDirectoryPart(const char* path, String& out);

}  // namespace updater
