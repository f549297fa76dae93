#pragma once

#include "core/string.h"

// An empty list item or symbol, a "." or ".." too many, or a link can turn a script's path into a
// root ("<Dest>\*" with an empty <Dest> is "\*"; "<Src>\..\..\..\.." may be "\.."). These tests
// keep the file procedures from writing, changing or deleting there. They judge the place the
// system would act on, not the text: relative paths against the working directory, "." and ".."
// as the system resolves them, links in the path's directories followed.
namespace updater {

// True for "\", "C:" and "C:\" as written (any number of trailing backslashes).
bool IsRootPath(const String& path);
// True when a directory that is to receive entries would put them at a root: an empty text, a
// root or a bare drive as written, or a place that is a root, also through a link named last
// (the entries go where it leads).
bool IsUnsafeTarget(const String& directory);
// True for an item that is to be deleted, moved away, written or changed when it names a root,
// or a wildcard pattern directly in a root or with no directory at all ("\*", "C:\*.*", "*",
// "\.\*"). A named entry in a root ("\x.ini") is not a root.
bool IsUnsafeItem(const String& item);

}  // namespace updater
