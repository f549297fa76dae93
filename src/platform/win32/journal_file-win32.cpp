#include "platform/journal_file.h"

#include <windows.h>

#include <shlobj.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/internal-win32.h"

namespace updater::platform {
namespace {

constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The entry itself, a directory or a link included, to read or set what describes it.
HANDLE OpenEntry(const std::wstring& path, DWORD access) {
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool VolumeOf(const std::string& path, DWORD& serial) {
    const HANDLE entry = OpenEntry(win32::LongPathForm(path), 0);
    if (entry == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information{};
    const BOOL read = GetFileInformationByHandle(entry, &information);
    CloseHandle(entry);
    serial = information.dwVolumeSerialNumber;
    return read != FALSE;
}

// A read-only file can be neither replaced nor removed; the bit goes first.
void MakeWritable(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool IsOneFile(const std::wstring& first, const std::wstring& second) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    const HANDLE one = OpenEntry(first, 0);
    const HANDLE two = OpenEntry(second, 0);
    const bool same = one != INVALID_HANDLE_VALUE && two != INVALID_HANDLE_VALUE &&
                      GetFileInformationByHandle(one, &a) && GetFileInformationByHandle(two, &b) &&
                      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                      a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    if (one != INVALID_HANDLE_VALUE)
        CloseHandle(one);
    if (two != INVALID_HANDLE_VALUE)
        CloseHandle(two);
    return same;
}

std::wstring ParentOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// FlushFileBuffers wants a handle open for writing: a read-only file loses its bit while it is
// opened and has it back before the flush, which then writes out the bit too.
bool FlushEntry(const std::wstring& entry) {
    const std::wstring path = win32::LongPathForm(entry);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    // A program the run started may already hold its new file (a running program's image
    // cannot be opened for writing): its data went out through that program's own reads, and
    // undoing a run that succeeded for it would be worse than the flush it misses.
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION)
        return true;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED &&
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        handle = CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        SetFileAttributesW(path.c_str(), attributes);
    }
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const BOOL flushed = FlushFileBuffers(handle);
    CloseHandle(handle);
    return flushed != FALSE;
}

// A whole volume in one call, where this process may open it (administrators).
bool FlushVolume(const std::wstring& root) {
    if (root.size() != 3 || root[1] != L':')
        return false;
    const HANDLE volume =
        CreateFileW((L"\\\\.\\" + root.substr(0, 2)).c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE)
        return false;
    const BOOL flushed = FlushFileBuffers(volume);
    CloseHandle(volume);
    return flushed != FALSE;
}

}  // namespace

bool GetStateDirectory(std::string& path, bool create) {
    wchar_t folder[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) !=
        S_OK)
        return false;
    const std::wstring directory = std::wstring(folder) + L"\\Updater";
    const DWORD attributes = GetFileAttributesW(directory.c_str());
    const bool there =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!there && !(create && (CreateDirectoryW(directory.c_str(), nullptr) ||
                               GetLastError() == ERROR_ALREADY_EXISTS)))
        return false;
    path = win32::Narrow(directory);
    return true;
}

struct JournalFile::State {
    HANDLE file = INVALID_HANDLE_VALUE;
};

JournalFile::JournalFile() = default;

JournalFile::~JournalFile() {
    Close();
}

// Opened without sharing: the open itself is the lock, and a second one fails while it lasts.
JournalFile::Opened JournalFile::Open(const std::string& path, bool create) {
    Close();
    const HANDLE file =
        CreateFileW(win32::LongPathForm(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                    nullptr, create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return Opened::kMissing;
        return error == ERROR_SHARING_VIOLATION ? Opened::kHeld : Opened::kFailed;
    }
    state_ = std::make_unique<State>();
    state_->file = file;
    return Opened::kOpened;
}

bool JournalFile::IsOpen() const {
    return state_ != nullptr;
}

bool JournalFile::ReadAll(std::string& contents) {
    contents.clear();
    if (!state_ || SetFilePointer(state_->file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return false;
    char buffer[65536];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(state_->file, buffer, sizeof buffer, &count, nullptr))
            return false;
        if (count == 0)
            return true;
        contents.append(buffer, count);
    }
}

bool JournalFile::Append(const std::string& text) {
    if (!state_)
        return false;
    LARGE_INTEGER none{};
    if (!SetFilePointerEx(state_->file, none, nullptr, FILE_END))
        return false;
    for (size_t done = 0; done < text.size();) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1 << 20));
        if (!WriteFile(state_->file, text.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

bool JournalFile::Flush() {
    return state_ && FlushFileBuffers(state_->file) != FALSE;
}

bool JournalFile::Clear() {
    return state_ && SetFilePointer(state_->file, 0, nullptr, FILE_BEGIN) == 0 &&
           SetEndOfFile(state_->file) && FlushFileBuffers(state_->file);
}

// Marked for deletion while still held, so that nobody opens it between the close and the delete.
void JournalFile::Remove() {
    if (!state_)
        return;
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    SetFileInformationByHandle(state_->file, FileDispositionInfo, &disposition, sizeof disposition);
    Close();
}

void JournalFile::Close() {
    if (state_)
        CloseHandle(state_->file);
    state_.reset();
}

bool OnSameFileSystem(const std::string& first, const std::string& second) {
    DWORD one = 0;
    DWORD two = 0;
    return VolumeOf(first, one) && VolumeOf(second, two) && one == two;
}

bool LinkEntry(const std::string& path, const std::string& kept) {
    return CreateHardLinkW(win32::LongPathForm(kept).c_str(), win32::LongPathForm(path).c_str(),
                           nullptr) != FALSE;
}

// CopyFileW writes into the file it replaces, so a second name would see the new contents: the
// old file is renamed aside instead, unless the copy is to be refused anyway.
bool KeepBeforeOverwrite(const std::string& path, const std::string& kept) {
    const std::wstring file = win32::LongPathForm(path);
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return MoveFileExW(file.c_str(), win32::LongPathForm(kept).c_str(), 0) != FALSE;
}

bool PutBack(const std::string& kept, const std::string& path) {
    const std::wstring from = win32::LongPathForm(kept);
    const std::wstring to = win32::LongPathForm(path);
    if (IsOneFile(from, to)) {
        // Both names share the attributes: the read-only bit comes back once the name is gone.
        const DWORD attributes = GetFileAttributesW(to.c_str());
        MakeWritable(from);
        const BOOL removed = DeleteFileW(from.c_str());
        SetFileAttributesW(to.c_str(), attributes);
        return removed != FALSE;
    }
    MakeWritable(to);
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool ReadEntryState(const std::string& path, std::string& state) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(win32::LongPathForm(path).c_str(), GetFileExInfoStandard, &data))
        return false;
    char text[128];
    std::snprintf(text, sizeof text, "%lx %lx %lx %lx %lx %lx %lx",
                  static_cast<unsigned long>(data.dwFileAttributes),
                  static_cast<unsigned long>(data.ftCreationTime.dwHighDateTime),
                  static_cast<unsigned long>(data.ftCreationTime.dwLowDateTime),
                  static_cast<unsigned long>(data.ftLastAccessTime.dwHighDateTime),
                  static_cast<unsigned long>(data.ftLastAccessTime.dwLowDateTime),
                  static_cast<unsigned long>(data.ftLastWriteTime.dwHighDateTime),
                  static_cast<unsigned long>(data.ftLastWriteTime.dwLowDateTime));
    state = text;
    return true;
}

bool WriteEntryState(const std::string& path, const std::string& state) {
    unsigned long value[7] = {};
    if (std::sscanf(state.c_str(), "%lx %lx %lx %lx %lx %lx %lx", &value[0], &value[1], &value[2],
                    &value[3], &value[4], &value[5], &value[6]) != 7)
        return false;
    const std::wstring entry = win32::LongPathForm(path);
    const FILETIME created{static_cast<DWORD>(value[2]), static_cast<DWORD>(value[1])};
    const FILETIME accessed{static_cast<DWORD>(value[4]), static_cast<DWORD>(value[3])};
    const FILETIME written{static_cast<DWORD>(value[6]), static_cast<DWORD>(value[5])};
    // Times that are already right stay untouched: the system may keep them finer than a
    // FILETIME does.
    std::string now;
    BOOL timed =
        ReadEntryState(path, now) && now.substr(now.find(' ')) == state.substr(state.find(' '));
    if (!timed) {
        const HANDLE handle = OpenEntry(entry, FILE_WRITE_ATTRIBUTES);
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        timed = SetFileTime(handle, &created, &accessed, &written);
        CloseHandle(handle);
    }
    const DWORD attributes = static_cast<DWORD>(value[0]) & kSettableAttributes;
    return timed &&
           SetFileAttributesW(entry.c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes);
}

bool RemoveEntry(const std::string& path) {
    const std::wstring entry = win32::LongPathForm(path);
    const DWORD attributes = GetFileAttributesW(entry.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    MakeWritable(entry);
    const BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                             ? RemoveDirectoryW(entry.c_str())
                             : DeleteFileW(entry.c_str());
    if (!removed)
        SetFileAttributesW(entry.c_str(), attributes);
    return removed != FALSE;
}

// The volumes of the paths are flushed whole when allowed; else each file there and each
// directory that holds one, or that was made, or that lost an entry.
bool MakeChangesDurable(const std::vector<std::string>& paths) {
    std::set<std::wstring> files;
    std::set<std::wstring> directories;
    std::set<std::wstring> parents;  // met as the directory of an entry, volume known
    std::set<std::wstring> volumes;
    for (const std::string& path : paths) {
        std::wstring entry = win32::LongPathForm(path);
        while (entry.size() > 1 && entry.back() == L'\\')
            entry.pop_back();
        const DWORD attributes = GetFileAttributesW(entry.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            directories.insert(entry);
        } else if (attributes != INVALID_FILE_ATTRIBUTES) {
            files.insert(entry);
        }
        // Many entries share a directory: one already met is known to be there, on its volume.
        std::wstring parent = ParentOf(entry);
        while (!parent.empty() && parents.count(parent) == 0 &&
               GetFileAttributesW(parent.c_str()) == INVALID_FILE_ATTRIBUTES)
            parent = ParentOf(parent);
        if (parent.empty())
            return false;
        if (parent.size() == 2 && parent[1] == L':')
            parent += L'\\';
        if (!parents.insert(parent).second)
            continue;
        directories.insert(parent);
        wchar_t root[MAX_PATH] = {};
        if (GetVolumePathNameW(parent.c_str(), root, MAX_PATH))
            volumes.insert(root);
    }
    bool whole = !volumes.empty();
    for (const std::wstring& root : volumes)
        whole = whole && FlushVolume(root);
    if (whole)
        return true;
    for (const std::wstring& file : files) {
        if (!FlushEntry(file))
            return false;
    }
    for (const std::wstring& directory : directories) {
        if (!FlushEntry(directory))
            return false;
    }
    return true;
}

}  // namespace updater::platform
