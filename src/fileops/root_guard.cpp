#include "fileops/root_guard.h"

#include "fileops/walker.h"

namespace updater {
namespace {

bool IsBareDrive(const String& text) {
    const char* s = text.CStr();
    bool letter = (s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z');
    return letter && s[1] == ':' && s[2] == '\0';
}

bool IsEmptyOrDrive(const String& text) {
    String trimmed = WithoutTrailingBackslashes(text);
    return trimmed.GetLength() == 0 || IsBareDrive(trimmed);
}

bool HasWildcards(const String& name) {
    return name.CountOf("*") > 0 || name.CountOf("?") > 0;
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
    if (!HasWildcards(path.GetToken(-1, "\\")))
        return false;
    return path.CountOf("\\") == 0 || IsEmptyOrDrive(path.GetTokens(0, -2, "\\"));
}

}  // namespace updater
