#pragma once

#include <string>

// Engine paths as the file calls of this backend see them.
namespace updater::platform::posix {

// The native path for an engine path; false for texts that name nothing on Linux: the empty text
// and paths that begin with a drive ("C:\App"), which must fail cleanly rather than be taken as a
// relative name.
bool ToFilePath(const std::string& enginePath, std::string& native);

// Whether Windows would accept the last name of a native path for a new entry: it refuses "*"
// and "?", which Linux would take literally.
bool IsCreatableName(const std::string& native);

// The native path without trailing slashes, so that it names a link itself rather than what the
// link leads to; the root stays "/".
std::string WithoutTrailingSlashes(const std::string& native);

// True for a native path written with a trailing slash.
bool EndsWithSlash(const std::string& native);

// The directory that holds a native path ("." for a bare name, "/" for an entry of the root).
std::string ParentOf(const std::string& native);

}  // namespace updater::platform::posix
