#include <windows.h>

#include "platform/file_system.h"
#include "platform/win32/links-win32.h"
#include "platform/win32/text-win32.h"

// Each call is the one Win32 call it stands for; what Windows refuses is refused here by Windows.
namespace updater::platform {
namespace {

// The reparse tag comes only with a directory search; trailing backslashes would find nothing.
DWORD ReparseTagOf(const std::string& path) {
    std::string entry = path;
    while (entry.size() > 1 && entry.back() == '\\')
        entry.pop_back();
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileExW(win32::Widen(entry).c_str(), FindExInfoBasic, &data,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? data.dwReserved0 : 0;
}

}  // namespace

uint32_t GetEntryAttributes(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(win32::Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return attributes;
    return win32::WithLinksMarkedOnly(attributes, ReparseTagOf(path));
}

bool SetEntryAttributes(const std::string& path, uint32_t attributes) {
    // Zero is not a documented attribute value; "normal" is what clears every settable bit.
    const DWORD value = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return SetFileAttributesW(win32::Widen(path).c_str(), value) != FALSE;
}

bool CopyFileTo(const std::string& from, const std::string& to) {
    const BOOL failIfExists = FALSE;
    return CopyFileW(win32::Widen(from).c_str(), win32::Widen(to).c_str(), failIfExists) != FALSE;
}

bool MoveEntry(const std::string& from, const std::string& to) {
    return MoveFileW(win32::Widen(from).c_str(), win32::Widen(to).c_str()) != FALSE;
}

bool DeleteFileEntry(const std::string& path) {
    return DeleteFileW(win32::Widen(path).c_str()) != FALSE;
}

bool MakeDirectory(const std::string& path) {
    return CreateDirectoryW(win32::Widen(path).c_str(), nullptr) != FALSE;
}

bool RemoveEmptyDirectory(const std::string& path) {
    return RemoveDirectoryW(win32::Widen(path).c_str()) != FALSE;
}

}  // namespace updater::platform
