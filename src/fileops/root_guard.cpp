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

}  // namespace

bool IsRootPath(const String& path) {
    return path.GetLength() > 0 && IsEmptyOrDrive(path);
}

bool IsUnsafeTarget(const String& directory) {
    return IsEmptyOrDrive(directory);
}

bool IsUnsafeDeleteItem(const String& item) {
    if (IsRootPath(item))
        return true;
    String path(item);
    if (!platform::HasWildcards(path.GetToken(-1, "\\").CStr()))
        return false;
    return path.CountOf("\\") == 0 || IsEmptyOrDrive(path.GetTokens(0, -2, "\\"));
}

}  // namespace updater
