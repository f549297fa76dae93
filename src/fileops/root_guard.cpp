#include "fileops/root_guard.h"

#include "fileops/walker.h"
#include "platform/file_system.h"

namespace updater {
namespace {

bool IsBareDrive(const String& text) {
    return text.GetLength() == 2 && platform::StartsWithDrive(text.CStr());
}

bool IsEmptyOrDrive(const String& text) {
    String trimmed = WithoutTrailingBackslashes(text);
    return trimmed.GetLength() == 0 || IsBareDrive(trimmed);
}

// The text alone already names a root, or a pattern in one or in no directory at all.
bool IsUnsafeText(const String& item, bool pattern) {
    if (IsRootPath(item))
        return true;
    String path(item);
    return pattern && (path.CountOf("\\") == 0 || IsEmptyOrDrive(path.GetTokens(0, -2, "\\")));
}

}  // namespace

bool IsRootPath(const String& path) {
    return path.GetLength() > 0 && IsEmptyOrDrive(path);
}

// An entry placed in the directory lies directly in a root exactly when the directory, followed
// through every link, is one.
bool IsUnsafeTarget(const String& directory) {
    if (IsEmptyOrDrive(directory))
        return true;
    const String entry = WithoutTrailingBackslashes(directory).Concat("\\entry");
    return platform::PlaceOf(entry.CStr()) == platform::Place::kInRoot;
}

bool IsUnsafeItem(const String& item) {
    const bool pattern = platform::HasWildcards(String(item).GetToken(-1, "\\").CStr());
    if (IsUnsafeText(item, pattern))
        return true;
    const platform::Place place = platform::PlaceOf(item.CStr());
    return place == platform::Place::kRoot || (pattern && place == platform::Place::kInRoot);
}

}  // namespace updater
