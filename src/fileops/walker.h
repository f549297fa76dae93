#pragma once

#include <cstdint>
#include <vector>

#include "core/string.h"

// The file-system services that every file procedure shares: attributes, the directory test,
// creating a directory path, and the walker that turns a file, a wildcard pattern or a tree into
// visits of one visitor function.
namespace updater {

enum VisitKind : int {
    VisitFile = 0,      // an entry without the directory bit
    VisitDirEnter = 1,  // a directory, before anything inside it
    VisitDirLeave = 2,  // the same directory, after everything inside it
};

// Called for each entry met; `path` is valid only during the call. Nonzero goes on, 0 stops the
// whole walk with failure. `context` is the caller's and is handed through unread.
using WalkVisitor = int (*)(const String& path, int kind, void* context);

// Stores the attribute bits of a path (0xFFFFFFFF when it has none) and returns whether it has any.
bool GetPathAttributes(const String& path, uint32_t& attributes);
// True for an existing directory; false for a file and for a missing path.
bool IsDirectory(const char* path);
// True when the path itself is a link (a reparse point): such a path is deleted or moved as the
// link, never through it. Trailing backslashes do not lead through the link: "link\" is the link.
bool IsLink(const char* path);
// The directory that holds the last item of a path: everything before its last backslash, the
// current directory (".") for a bare name, and nothing for the empty text.
String DirectoryPartOf(const String& path);
// Creates the directory and every missing directory above it; an existing one succeeds as it is,
// also when another process made it a moment earlier.
// A trailing backslash names the same directory. `made`, when given, receives each directory this
// call created, parents first, also when it fails part-way.
bool CreateDirectoryTree(const String& path, std::vector<String>* made = nullptr);
// Visits what the path names, depth first. With `recursive` and a directory path, visits its
// contents (not the directory itself); otherwise what the path or pattern matches, entering each
// matching directory whole when `recursive`. A link to a directory is visited as a directory
// (entered and left) but never walked into: what it leads to lies outside the named tree. False
// when nothing matched, a search failed, the visitor stopped the walk, or the walk met a name that
// a path cannot express (a backslash in a Linux name).
bool WalkFiles(const String& path, WalkVisitor visitor, bool recursive, void* context);
// The size in bytes of the file a visitor is called for, as the search found it; valid only
// during a VisitFile call.
uint64_t VisitedFileSize();

// The path without its trailing backslashes; leading ones stay, since they make the root ("\tmp")
// or a network path ("\\server\share"). The root itself comes out empty.
String WithoutTrailingBackslashes(const String& path);

}  // namespace updater
