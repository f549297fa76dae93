#pragma once

#include "core/string.h"

// An empty list item or symbol can turn a script's path into a root ("<Dest>\*" with an empty
// <Dest> is "\*"). These tests keep the file procedures from writing or deleting there.
namespace updater {

// True for "\", "C:" and "C:\" (any number of trailing backslashes).
bool IsRootPath(const String& path);
// True when a directory that is to receive entries would put them at a root: an empty text,
// a root or a bare drive.
bool IsUnsafeTarget(const String& directory);
// True for a DELETE item that names a root, or a wildcard pattern directly in a root or with no
// directory at all ("\*", "C:\*.*", "*").
bool IsUnsafeDeleteItem(const String& item);

}  // namespace updater
