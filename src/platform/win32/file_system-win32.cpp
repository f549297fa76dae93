#include "platform/win32/file_ops-win32.h"

#include <windows.h>

#include <atomic>

#include "platform/file_system.h"
#include "platform/win32/internal-win32.h"
#include "platform/win32/links-win32.h"
#include "platform/win32/paths-win32.h"

// Each call is the one Win32 call it stands for; what Windows refuses is refused here by Windows.
// Only writing into what is no file, replacing, and moving across volumes need more.
namespace updater::platform {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool Refuse(DWORD error) {
    SetLastError(error);
    return false;
}

enum class Existing { kNothing, kDiskEntry, kOther };

// What lies at a destination, found without reading or writing it. Devices, pipes and their
// kin show in the system's full path ("nul.txt" is "\\.\nul") and are never opened, as opening
// some of them does something; anything else is opened with no access and asked its kind.
Existing WhatIsAt(const std::wstring& path, bool throughLinks) {
    const win32::PathParts parts = win32::SplitFullPath(win32::FullPathOf(path));
    if (parts.kind != win32::RootKind::kVolume || parts.items.empty())
        return Existing::kOther;
    const DWORD flags =
        FILE_FLAG_BACKUP_SEMANTICS | (throughLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE handle = CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? Existing::kNothing : Existing::kOther;
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type == FILE_TYPE_DISK ? Existing::kDiskEntry : Existing::kOther;
}

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

// CopyFileW would write into a device or a pipe as into a file.
bool CopyFileTo(const std::string& from, const std::string& to) {
    const std::wstring target = win32::Widen(to);
    if (WhatIsAt(target, true) == Existing::kOther)
        return Refuse(ERROR_ACCESS_DENIED);
    const BOOL failIfExists = FALSE;
    return CopyFileW(win32::Widen(from).c_str(), target.c_str(), failIfExists) != FALSE;
}

bool CopyEntryTo(const std::string& from, const std::string& to) {
    const uint32_t attributes = GetEntryAttributes(from);
    if (attributes == kInvalidAttributes || (attributes & kAttributeReparsePoint) == 0)
        return CopyFileTo(from, to);
    // A link to a directory is no file; a tree copy that meets one fails on it.
    if ((attributes & kAttributeDirectory) != 0)
        return Refuse(ERROR_DIRECTORY);
    const std::wstring target = win32::Widen(to);
    if (WhatIsAt(target, true) == Existing::kOther)
        return Refuse(ERROR_ACCESS_DENIED);
    return CopyFileExW(win32::Widen(from).c_str(), target.c_str(), nullptr, nullptr, nullptr,
                       COPY_FILE_COPY_SYMLINK) != FALSE;
}

bool MoveEntry(const std::string& from, const std::string& to) {
    return MoveFileW(win32::Widen(from).c_str(), win32::Widen(to).c_str()) != FALSE;
}

// Never MOVEFILE_COPY_ALLOWED: a copy that fails halfway leaves a cut file under the final name.
bool MoveFileOver(const std::string& from, const std::string& to) {
    const std::wstring source = win32::Widen(from);
    const std::wstring target = win32::Widen(to);
    const DWORD sourceAttributes = GetFileAttributesW(source.c_str());
    if (sourceAttributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if ((sourceAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Refuse(ERROR_ACCESS_DENIED);
    // A link at the destination is replaced as itself, so it is judged as itself.
    const Existing existing = WhatIsAt(target, false);
    if (existing == Existing::kOther)
        return Refuse(ERROR_ACCESS_DENIED);
    DWORD flags = 0;
    if (existing == Existing::kDiskEntry) {
        const DWORD attributes = GetFileAttributesW(target.c_str());
        const DWORD refused = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY;
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & refused) != 0)
            return Refuse(ERROR_ACCESS_DENIED);
        // Renamed over itself through another name, a file could replace itself by nothing.
        if (IsSameEntry(from, to))
            return Refuse(ERROR_ALREADY_EXISTS);
        flags = MOVEFILE_REPLACE_EXISTING;
    }
    if (MoveFileExW(source.c_str(), target.c_str(), flags))
        return true;
    if (GetLastError() != ERROR_NOT_SAME_DEVICE)
        return false;
    return win32::MoveFileByCopy(from, to);
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

namespace updater::platform::win32 {
namespace {

// Temporary names beside `path`: its directory, then a name that this process alone makes.
std::wstring NameBeside(const std::wstring& path) {
    static std::atomic<unsigned> serial{0};
    const std::wstring full = FullPathOf(path);
    const size_t slash = full.find_last_of(L'\\');
    const std::wstring directory = slash == std::wstring::npos ? L"" : full.substr(0, slash + 1);
    return directory + L"~updater-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(serial++) + L".tmp";
}

bool IsNameTaken(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

constexpr int kNameTries = 100;

// Removes a file of ours, read-only or not; a link goes as itself, its attributes untouched
// (setting them would set those of what it leads to).
void Discard(const std::wstring& path, bool link) {
    if (DeleteFileW(path.c_str()) || link)
        return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

// A complete copy of the source beside the target, hidden while it waits there; `attributes`
// are those it is to have in the end. A copy that fails is removed.
bool CopyBeside(const std::wstring& source, const std::wstring& target, bool link,
                std::wstring& copy, DWORD& attributes) {
    const DWORD flags = COPY_FILE_FAIL_IF_EXISTS | (link ? COPY_FILE_COPY_SYMLINK : 0);
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        copy = NameBeside(target);
        if (CopyFileExW(source.c_str(), copy.c_str(), nullptr, nullptr, nullptr, flags)) {
            attributes = GetFileAttributesW(copy.c_str());
            if (!link && attributes != INVALID_FILE_ATTRIBUTES)
                SetFileAttributesW(copy.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
            return true;
        }
        const DWORD error = GetLastError();
        if (!IsNameTaken(error)) {
            Discard(copy, link);  // the name was free, so whatever is there now is ours
            SetLastError(error);
            return false;
        }
    }
    return false;
}

bool RenameBeside(const std::wstring& path, std::wstring& renamed) {
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        renamed = NameBeside(path);
        if (MoveFileExW(path.c_str(), renamed.c_str(), 0))
            return true;
        if (!IsNameTaken(GetLastError()))
            return false;
    }
    return false;
}

// A read-only file may be moved on its volume, so it may leave it too.
bool DeleteSource(const std::wstring& source, DWORD attributes, bool link) {
    if (DeleteFileW(source.c_str()))
        return true;
    if (link || (attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
        GetLastError() != ERROR_ACCESS_DENIED ||
        !SetFileAttributesW(source.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
        return false;
    if (DeleteFileW(source.c_str()))
        return true;
    const DWORD error = GetLastError();
    SetFileAttributesW(source.c_str(), attributes);
    SetLastError(error);
    return false;
}

}  // namespace

bool MoveFileByCopy(const std::string& from, const std::string& to) {
    const std::wstring source = Widen(from);
    const std::wstring target = Widen(to);
    const DWORD sourceAttributes = GetFileAttributesW(source.c_str());
    if (sourceAttributes == INVALID_FILE_ATTRIBUTES)
        return false;
    const bool link = (GetEntryAttributes(from) & kAttributeReparsePoint) != 0;
    const DWORD targetAttributes = GetFileAttributesW(target.c_str());
    const bool replacing = targetAttributes != INVALID_FILE_ATTRIBUTES;
    const bool targetIsLink = replacing && (GetEntryAttributes(to) & kAttributeReparsePoint) != 0;

    std::wstring copy;
    DWORD copyAttributes = INVALID_FILE_ATTRIBUTES;
    if (!CopyBeside(source, target, link, copy, copyAttributes))
        return false;
    std::wstring old;
    if (replacing && !RenameBeside(target, old)) {
        const DWORD error = GetLastError();
        Discard(copy, link);
        return Refuse(error);
    }
    const bool shown = link || copyAttributes == INVALID_FILE_ATTRIBUTES ||
                       SetFileAttributesW(copy.c_str(), copyAttributes);
    if (!shown || !MoveFileExW(copy.c_str(), target.c_str(), 0)) {
        const DWORD error = GetLastError();
        if (replacing)
            MoveFileExW(old.c_str(), target.c_str(), 0);
        Discard(copy, link);
        return Refuse(error);
    }
    if (!DeleteSource(source, sourceAttributes, link)) {
        const DWORD error = GetLastError();
        if (replacing) {
            // The old file goes back over the copy in one step; a read-only copy would refuse it.
            if (!link)
                SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
            MoveFileExW(old.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
        } else {
            Discard(target, link);
        }
        return Refuse(error);
    }
    if (replacing)
        Discard(old, targetIsLink);
    return true;
}

}  // namespace updater::platform::win32
