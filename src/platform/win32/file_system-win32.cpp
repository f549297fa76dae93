#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_changes.h"
#include "platform/file_system.h"
#include "platform/progress.h"
#include "platform/win32/internal-win32.h"

// --- Links ------------------------------------------------------------------------------------
namespace updater::platform::win32 {
namespace {

// Windows marks more than links as reparse points: cloud placeholders and deduplicated files
// too. Only a name surrogate (a symbolic link, a junction) leads somewhere else; the others are
// the plain files and directories they stand for and lose the mark. A tag that the system does
// not report (0) keeps it: such an entry is taken for a link, never walked into.
DWORD WithLinksMarkedOnly(DWORD attributes, DWORD reparseTag) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && reparseTag != 0 &&
        !IsReparseTagNameSurrogate(reparseTag))
        return attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT);
    return attributes;
}

}  // namespace
}  // namespace updater::platform::win32

// --- Progress of a copy -------------------------------------------------------------------------
namespace updater::platform::win32 {
namespace {

DWORD CALLBACK ReportCopiedBytes(LARGE_INTEGER, LARGE_INTEGER transferred, LARGE_INTEGER,
                                 LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE, LPVOID) {
    ReportItemProgress(static_cast<uint64_t>(transferred.QuadPart));
    // A stop of the run cancels the copy; the system then deletes the part it wrote.
    return StopRequested() ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

// The copy tells its bytes as it goes only when someone takes the progress.
LPPROGRESS_ROUTINE CopyProgressRoutine() {
    return ProgressWanted() ? ReportCopiedBytes : nullptr;
}

}  // namespace
}  // namespace updater::platform::win32

// --- Path text --------------------------------------------------------------------------------
// How the system reads the text of a path: what it makes of it in full, and where its root ends.
namespace updater::platform::win32 {
namespace {

enum class RootKind {
    kNone,        // not a full path
    kVolume,      // a drive, a volume or a share: files below it can be opened
    kDevice,      // a device, a pipe or some other object that is never opened to be judged
    kIncomplete,  // above any root: "\\server", "\\?\", "\\.\"
};

struct PathParts {
    RootKind kind = RootKind::kNone;
    std::wstring root;                // "C:\", "\\srv\share\", "\\?\C:\", "\\.\pipe\", ...
    std::vector<std::wstring> items;  // the items below the root, empty ones left out
};

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

bool SameName(const std::wstring& item, const wchar_t* name) {
    return CompareStringOrdinal(item.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL;
}

bool IsDriveItem(const std::wstring& item) {
    const wchar_t letter = item.empty() ? L'\0' : item[0];
    const bool isLetter = (letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z');
    return isLetter && item.size() == 2 && item[1] == L':';
}

// Shares through which a server's pipes and mailslots are reached: opening one connects to them.
bool IsPipeShare(const std::wstring& share) {
    return SameName(share, L"pipe") || SameName(share, L"mailslot");
}

std::vector<std::wstring> SplitItems(const std::wstring& text, size_t from) {
    std::vector<std::wstring> items;
    for (size_t start = from; start < text.size();) {
        size_t end = text.find(L'\\', start);
        if (end == std::wstring::npos)
            end = text.size();
        if (end > start)
            items.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

// The first `rootItems` items belong to the root; a text that stops before them is above it.
PathParts TakeRoot(const std::wstring& prefix, std::vector<std::wstring> items, size_t rootItems,
                   RootKind kind) {
    PathParts parts;
    parts.kind = items.size() < rootItems ? RootKind::kIncomplete : kind;
    const size_t taken = items.size() < rootItems ? items.size() : rootItems;
    parts.root = prefix;
    for (size_t i = 0; i < taken; ++i)
        parts.root += items[i] + L"\\";
    items.erase(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(taken));
    parts.items = std::move(items);
    return parts;
}

// "\\?\" and "\\.\" name objects of the system: a drive, a volume, a share through "UNC", a
// device. "GLOBALROOT\??\" leads back to the same names.
PathParts SplitDevicePath(const std::wstring& prefix, std::vector<std::wstring> items) {
    if (items.empty())
        return TakeRoot(prefix, std::move(items), 1, RootKind::kIncomplete);
    const std::wstring& first = items[0];
    if (SameName(first, L"GLOBALROOT")) {
        if (items.size() >= 2 && (SameName(items[1], L"??") || SameName(items[1], L"GLOBAL??") ||
                                  SameName(items[1], L"DosDevices"))) {
            const std::wstring longer = prefix + items[0] + L"\\" + items[1] + L"\\";
            items.erase(items.begin(), items.begin() + 2);
            return SplitDevicePath(longer, std::move(items));
        }
        return TakeRoot(prefix, std::move(items), 3, RootKind::kDevice);  // GLOBALROOT\Device\X
    }
    if (SameName(first, L"UNC")) {
        const bool pipes = items.size() >= 3 && IsPipeShare(items[2]);
        return TakeRoot(prefix, std::move(items), 3, pipes ? RootKind::kDevice : RootKind::kVolume);
    }
    const bool volume = IsDriveItem(first) || SameName(first.substr(0, 7), L"Volume{");
    return TakeRoot(prefix, std::move(items), 1, volume ? RootKind::kVolume : RootKind::kDevice);
}

// "\\?\C:\.." is not folded by the system but may be by a file system; the same text read as a
// "\\.\" path, which the system does fold, shows where such items could lead. Other texts come
// back unchanged.
std::wstring FoldedAsDevicePath(const std::wstring& full) {
    if (!StartsWith(full, L"\\\\?\\"))
        return full;
    const std::wstring folded = FullPathOf(L"\\\\.\\" + full.substr(4));
    if (!StartsWith(folded, L"\\\\.\\"))
        return full;
    return L"\\\\?\\" + folded.substr(4);
}

// Splits a full path into its root and items at its backslashes (the system's full paths have no
// other separator; past "\\?\" a slash is part of a name).
PathParts SplitFullPath(const std::wstring& full) {
    if (StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\"))
        return SplitDevicePath(full.substr(0, 4), SplitItems(full, 4));
    if (StartsWith(full, L"\\\\")) {
        std::vector<std::wstring> items = SplitItems(full, 2);
        const bool pipes = items.size() >= 2 && IsPipeShare(items[1]);
        return TakeRoot(L"\\\\", std::move(items), 2,
                        pipes ? RootKind::kDevice : RootKind::kVolume);
    }
    PathParts parts;
    if (full.size() >= 3 && IsDriveItem(full.substr(0, 2)) && full[2] == L'\\') {
        parts.kind = RootKind::kVolume;
        parts.root = full.substr(0, 3);
        parts.items = SplitItems(full, 3);
    }
    return parts;
}

// The root followed by the items, each but the last ending in a backslash.
std::wstring JoinPath(const std::wstring& root, const std::vector<std::wstring>& items,
                      size_t count) {
    std::wstring path = root;
    for (size_t i = 0; i < count && i < items.size(); ++i) {
        if (i > 0)
            path += L'\\';
        path += items[i];
    }
    return path;
}

}  // namespace
}  // namespace updater::platform::win32

// --- Directory search -------------------------------------------------------------------------
namespace updater::platform {

struct DirectorySearch::State {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

namespace {

// The search reads its mask as written, where a trailing dot counts ("*." finds the names without
// an extension); folding drops the trailing dots and blanks of the last item, so they come back.
std::wstring SearchForm(const std::string& pattern) {
    const std::wstring written = win32::Widen(pattern);
    const std::wstring form = win32::LongPathForm(written);
    const size_t cut = written.find_last_of(L"\\/:");
    const std::wstring mask = written.substr(cut == std::wstring::npos ? 0 : cut + 1);
    const size_t kept = mask.find_last_not_of(L". ");
    if (form == written || kept == std::wstring::npos || kept + 1 == mask.size())
        return form;
    const std::wstring folded = L"\\" + mask.substr(0, kept + 1);
    const bool foldedLast = form.size() >= folded.size() &&
                            form.compare(form.size() - folded.size(), folded.size(), folded) == 0;
    return foldedLast ? form + mask.substr(kept + 1) : form;
}

void TakeEntry(const WIN32_FIND_DATAW& data, FoundEntry& entry) {
    entry.name = win32::Narrow(data.cFileName);
    entry.attributes = win32::WithLinksMarkedOnly(data.dwFileAttributes, data.dwReserved0);
    // A link, copied as itself, brings no contents.
    const bool contents = (entry.attributes & (kAttributeDirectory | kAttributeReparsePoint)) == 0;
    entry.size = contents ? (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow : 0;
}

}  // namespace

DirectorySearch::DirectorySearch() : state_(std::make_unique<State>()) {}

DirectorySearch::~DirectorySearch() {
    Close();
}

bool DirectorySearch::Start(const std::string& pattern, FoundEntry& first) {
    Close();
    WIN32_FIND_DATAW data;
    state_->handle = FindFirstFileW(SearchForm(pattern).c_str(), &data);
    if (state_->handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    TakeEntry(data, first);
    return true;
}

bool DirectorySearch::Next(FoundEntry& entry) {
    WIN32_FIND_DATAW data;
    if (state_->handle == INVALID_HANDLE_VALUE || !FindNextFileW(state_->handle, &data)) {
        return false;
    }
    TakeEntry(data, entry);
    return true;
}

void DirectorySearch::Close() {
    if (state_->handle != INVALID_HANDLE_VALUE) {
        FindClose(state_->handle);
        state_->handle = INVALID_HANDLE_VALUE;
    }
}

}  // namespace updater::platform

// --- Attributes, copies, moves and deletion ---------------------------------------------------
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
    HANDLE handle = CreateFileW(win32::LongPathForm(path).c_str(), 0, kShareAll, nullptr,
                                OPEN_EXISTING, flags, nullptr);
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
    HANDLE search = FindFirstFileExW(win32::LongPathForm(entry).c_str(), FindExInfoBasic, &data,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? data.dwReserved0 : 0;
}

}  // namespace

uint32_t GetEntryAttributes(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(win32::LongPathForm(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return attributes;
    return win32::WithLinksMarkedOnly(attributes, ReparseTagOf(path));
}

// The system's counted strings hold at most 32,767 characters, its own prefix included.
bool IsBeyondReach(const std::string& path) {
    return win32::LongPathForm(path).size() >= 0x7FFF - 4;
}

namespace backend {

bool AttemptSetEntryAttributes(const std::string& path, uint32_t attributes) {
    // Zero is not a documented attribute value; "normal" is what clears every settable bit.
    const DWORD value = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return SetFileAttributesW(win32::LongPathForm(path).c_str(), value) != FALSE;
}

// CopyFileW would write into a device or a pipe as into a file. An existing file is replaced only
// once the copy is complete beside it, so that a run stopped part-way leaves it whole. Read-only
// and hidden files are refused as Windows refuses them (Wine would overwrite them). What CopyFileW
// refuses by itself (directories, the source itself) or overwrites in a way of its own (system
// files, links) is left to it.
bool AttemptCopyFileTo(const std::string& from, const std::string& to) {
    const Existing existing = WhatIsAt(win32::Widen(to), true);
    if (existing == Existing::kOther)
        return Refuse(ERROR_ACCESS_DENIED);
    const std::wstring source = win32::LongPathForm(from);
    const std::wstring target = win32::LongPathForm(to);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    // CopyFileW judges the source first: a missing one is reported as missing.
    if (existing == Existing::kDiskEntry && attributes != INVALID_FILE_ATTRIBUTES &&
        GetFileAttributesW(source.c_str()) != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        !IsSameEntry(from, to)) {
        if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) != 0)
            return Refuse(ERROR_ACCESS_DENIED);
        if ((attributes & FILE_ATTRIBUTE_SYSTEM) == 0)
            return win32::CopyOver(source, target);
    }
    return CopyFileExW(source.c_str(), target.c_str(), win32::CopyProgressRoutine(), nullptr,
                       nullptr, 0) != FALSE;
}

bool AttemptCopyEntryTo(const std::string& from, const std::string& to) {
    const uint32_t attributes = GetEntryAttributes(from);
    if (attributes == kInvalidAttributes || (attributes & kAttributeReparsePoint) == 0)
        return AttemptCopyFileTo(from, to);
    // A link to a directory is no file; a tree copy that meets one fails on it.
    if ((attributes & kAttributeDirectory) != 0)
        return Refuse(ERROR_DIRECTORY);
    const std::wstring target = win32::Widen(to);
    if (WhatIsAt(target, true) == Existing::kOther)
        return Refuse(ERROR_ACCESS_DENIED);
    return CopyFileExW(win32::LongPathForm(from).c_str(), win32::LongPathForm(target).c_str(),
                       nullptr, nullptr, nullptr, COPY_FILE_COPY_SYMLINK) != FALSE;
}

bool AttemptMoveEntry(const std::string& from, const std::string& to) {
    return MoveFileW(win32::LongPathForm(from).c_str(), win32::LongPathForm(to).c_str()) != FALSE;
}

// Never MOVEFILE_COPY_ALLOWED: a copy that fails halfway leaves a cut file under the final name.
bool AttemptMoveFileOver(const std::string& from, const std::string& to) {
    const std::wstring source = win32::LongPathForm(from);
    const std::wstring target = win32::LongPathForm(to);
    const DWORD sourceAttributes = GetFileAttributesW(source.c_str());
    if (sourceAttributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if ((sourceAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Refuse(ERROR_ACCESS_DENIED);
    // A link at the destination is replaced as itself, so it is judged as itself.
    const Existing existing = WhatIsAt(win32::Widen(to), false);
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

bool AttemptDeleteFileEntry(const std::string& path) {
    return DeleteFileW(win32::LongPathForm(path).c_str()) != FALSE;
}

bool AttemptMakeDirectory(const std::string& path) {
    return CreateDirectoryW(win32::LongPathForm(path).c_str(), nullptr) != FALSE;
}

bool AttemptRemoveEmptyDirectory(const std::string& path) {
    return RemoveDirectoryW(win32::LongPathForm(path).c_str()) != FALSE;
}

int ErrorNumber() {
    return static_cast<int>(GetLastError());
}

void SetErrorNumber(int code) {
    SetLastError(static_cast<DWORD>(code));
}

int AccessDeniedNumber() {
    return ERROR_ACCESS_DENIED;
}

}  // namespace backend

std::string ErrorText(int code) {
    wchar_t* text = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length = FormatMessageW(flags, nullptr, static_cast<DWORD>(code), 0,
                                        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length != 0 && text != nullptr ? std::wstring(text, length) : L"";
    LocalFree(text);
    // The system's texts end with a line break, which a log line does not want.
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message.empty() ? "Error " + std::to_string(code) : win32::Narrow(message);
}

}  // namespace updater::platform

// --- Copies and moves through a temporary file -------------------------------------------------
namespace updater::platform::win32 {
namespace {

// Temporary names beside `path`: its directory, then a name that this process alone makes, with
// its id, so that a later run can tell when the maker has gone.
std::wstring NameBeside(const std::wstring& path) {
    static std::atomic<uint64_t> serial{0};
    const std::wstring full = FullPathOf(path);
    const size_t slash = full.find_last_of(L'\\');
    const std::wstring directory = slash == std::wstring::npos ? L"" : full.substr(0, slash + 1);
    return LongPathForm(directory +
                        Widen(backend::TemporaryEntryName("", GetCurrentProcessId(), serial++)));
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
        if (CopyFileExW(source.c_str(), copy.c_str(), CopyProgressRoutine(), nullptr, nullptr,
                        flags)) {
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
    const std::wstring source = LongPathForm(from);
    const std::wstring target = LongPathForm(to);
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

bool CopyOver(const std::wstring& source, const std::wstring& target) {
    std::wstring copy;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (!CopyBeside(source, target, false, copy, attributes))
        return false;
    const bool shown =
        attributes == INVALID_FILE_ATTRIBUTES || SetFileAttributesW(copy.c_str(), attributes);
    if (shown && MoveFileExW(copy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    const DWORD error = GetLastError();
    Discard(copy, false);
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        return CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE;
    return Refuse(error);
}

}  // namespace updater::platform::win32

namespace updater::platform {
namespace {

// Only an id that names no process, or a process that has ended, tells that the maker has gone: a
// process that may not be opened still runs.
bool StillRuns(DWORD processId) {
    if (processId == GetCurrentProcessId())
        return true;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr)
        return GetLastError() != ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const bool running = !GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

}  // namespace

// One search for the names alone; the exact name and the maker are judged for each found.
void RemoveAbandonedTemporaries(const std::string& directory) {
    std::wstring folder = win32::Widen(directory);
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(win32::LongPathForm(folder + L"~updater-*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        uint32_t owner = 0;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            !backend::ParseTemporaryEntryName(win32::Narrow(found.cFileName), "", owner) ||
            StillRuns(owner))
            continue;
        const bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        win32::Discard(win32::LongPathForm(folder + found.cFileName), link);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace updater::platform

// --- Identity and place -----------------------------------------------------------------------
// Whether two paths lead to one entry, asked of the file system rather than of the text, so that
// letter case, short names, ".", ".." and links are all seen through.
namespace updater::platform {
namespace {

// An open handle of a file or directory (backup semantics admit directories), through any
// links, with no access asked: nothing is read and no one else is kept out.
class EntryHandle {
  public:
    explicit EntryHandle(const std::string& path) : EntryHandle(win32::Widen(path)) {}
    explicit EntryHandle(const std::wstring& path)
        : handle_(CreateFileW(win32::LongPathForm(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
    ~EntryHandle() {
        if (IsOpen())
            CloseHandle(handle_);
    }
    EntryHandle(const EntryHandle&) = delete;
    EntryHandle& operator=(const EntryHandle&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

  private:
    HANDLE handle_;
};

struct Identity {
    ULONGLONG volume = 0;
    BYTE index[16] = {};
};

// The 128-bit file id where the system has it (ReFS needs all of it), the 64-bit index before
// Windows 8.
bool IdentityOf(const EntryHandle& entry, Identity& identity) {
    FILE_ID_INFO id{};
    if (GetFileInformationByHandleEx(entry.Get(), FileIdInfo, &id, sizeof id)) {
        identity.volume = id.VolumeSerialNumber;
        std::memcpy(identity.index, id.FileId.Identifier, sizeof identity.index);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(entry.Get(), &information))
        return false;
    identity.volume = information.dwVolumeSerialNumber;
    const ULONGLONG index =
        (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    std::memcpy(identity.index, &index, sizeof index);
    return true;
}

// The entry's own full path with every link resolved and the letter case of the disk; with
// VOLUME_NAME_GUID for a volume that has no drive letter and is mounted nowhere.
bool FinalPathOf(const EntryHandle& entry, std::wstring& path, DWORD volumeName = VOLUME_NAME_DOS) {
    const DWORD flags = FILE_NAME_NORMALIZED | volumeName;
    DWORD length = GetFinalPathNameByHandleW(entry.Get(), nullptr, 0, flags);
    if (length == 0)
        return false;
    path.assign(length, L'\0');
    length = GetFinalPathNameByHandleW(entry.Get(), path.data(), length, flags);
    if (length == 0 || length >= path.size())
        return false;
    path.resize(length);
    return true;
}

bool EqualsIgnoringCase(const wchar_t* a, const wchar_t* b, size_t length) {
    return CompareStringOrdinal(a, static_cast<int>(length), b, static_cast<int>(length), TRUE) ==
           CSTR_EQUAL;
}

// The path with the links in its directories followed: the longest directory part that exists,
// opened through its links, then the rest of the items. The last item is the entry itself, never
// followed; the root is not opened either, a drive letter of any kind being a root.
std::wstring WithDirectoryLinksFollowed(const std::wstring& full) {
    const win32::PathParts parts = win32::SplitFullPath(full);
    if (parts.kind != win32::RootKind::kVolume || parts.items.size() < 2)
        return full;
    for (size_t count = parts.items.size() - 1; count >= 1; --count) {
        const std::wstring directory = win32::JoinPath(parts.root, parts.items, count);
        // An item that the system takes for a device ("C:\x\com1") is never opened to be judged.
        if (win32::SplitFullPath(win32::FullPathOf(directory)).kind != win32::RootKind::kVolume)
            continue;
        const EntryHandle entry(directory);
        if (!entry.IsOpen())
            continue;
        std::wstring resolved;
        if (!FinalPathOf(entry, resolved) && !FinalPathOf(entry, resolved, VOLUME_NAME_GUID))
            return full;
        for (size_t i = count; i < parts.items.size(); ++i) {
            if (resolved.empty() || resolved.back() != L'\\')
                resolved += L'\\';
            resolved += parts.items[i];
        }
        return resolved;
    }
    return full;
}

// The texts the system may act on for a full path: the path itself and, when it begins with
// "\\?\", where its "." and ".." items could lead if anything below folded them.
std::vector<std::wstring> ReadingsOf(const std::wstring& full) {
    std::vector<std::wstring> readings;
    if (full.empty())
        return readings;
    readings.push_back(full);
    const std::wstring folded = win32::FoldedAsDevicePath(full);
    if (folded != full)
        readings.push_back(folded);
    return readings;
}

Place PlaceOfParts(const win32::PathParts& parts) {
    if (parts.kind == win32::RootKind::kNone)
        return Place::kNowhere;
    if (parts.kind == win32::RootKind::kIncomplete || parts.items.empty())
        return Place::kRoot;
    return parts.items.size() == 1 ? Place::kInRoot : Place::kElsewhere;
}

// Nearer a root is worse: a text that might be read in several ways counts as its worst reading.
int Closeness(Place place) {
    switch (place) {
        case Place::kNowhere:
            return 0;
        case Place::kElsewhere:
            return 1;
        case Place::kInRoot:
            return 2;
        case Place::kRoot:
            return 3;
    }
    return 3;
}

}  // namespace

Place PlaceOf(const std::string& path) {
    Place place = Place::kNowhere;
    for (const std::wstring& reading : ReadingsOf(win32::FullPathOf(win32::Widen(path)))) {
        for (const std::wstring& resolved : ReadingsOf(WithDirectoryLinksFollowed(reading))) {
            const Place candidate = PlaceOfParts(win32::SplitFullPath(resolved));
            if (Closeness(candidate) > Closeness(place))
                place = candidate;
        }
    }
    return place;
}

bool IsSameEntry(const std::string& first, const std::string& second) {
    const EntryHandle a(first);
    const EntryHandle b(second);
    Identity one;
    Identity other;
    return a.IsOpen() && b.IsOpen() && IdentityOf(a, one) && IdentityOf(b, other) &&
           one.volume == other.volume && std::memcmp(one.index, other.index, sizeof one.index) == 0;
}

// Both final paths are resolved and normalized, so the text of `outer` begins that of `inner`
// exactly when `inner` lies within it, item by item.
bool LiesWithin(const std::string& inner, const std::string& outer) {
    const EntryHandle innerEntry(inner);
    const EntryHandle outerEntry(outer);
    std::wstring innerPath;
    std::wstring outerPath;
    if (!innerEntry.IsOpen() || !outerEntry.IsOpen() || !FinalPathOf(innerEntry, innerPath) ||
        !FinalPathOf(outerEntry, outerPath))
        return false;
    while (outerPath.size() > 1 && outerPath.back() == L'\\')
        outerPath.pop_back();
    if (innerPath.size() < outerPath.size() ||
        !EqualsIgnoringCase(innerPath.c_str(), outerPath.c_str(), outerPath.size()))
        return false;
    return innerPath.size() == outerPath.size() || innerPath[outerPath.size()] == L'\\';
}

}  // namespace updater::platform

// --- Reading without sharing ------------------------------------------------------------------
namespace updater::platform {

struct UnsharedFile::State {
    HANDLE file = INVALID_HANDLE_VALUE;

    ~State() {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
};

UnsharedFile::UnsharedFile() = default;
UnsharedFile::~UnsharedFile() = default;

// No sharing on purpose: a file that another process holds open cannot be opened, and nobody
// else can open it while it is read. Without the backup-semantics flag a directory cannot be
// opened; a device (NUL, COM1) opens, but is no disk file.
bool UnsharedFile::Open(const std::string& path) {
    state_ = std::make_unique<State>();
    state_->file =
        CreateFileW(win32::LongPathForm(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (state_->file == INVALID_HANDLE_VALUE || GetFileType(state_->file) != FILE_TYPE_DISK) {
        state_.reset();
        return false;
    }
    return true;
}

bool UnsharedFile::GetSize(uint64_t& size) {
    LARGE_INTEGER value;
    if (!state_ || !GetFileSizeEx(state_->file, &value))
        return false;
    size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool UnsharedFile::Read(unsigned char* data, size_t capacity, size_t& count) {
    // One call reads at most what a DWORD counts.
    const DWORD wanted = capacity > 0x40000000 ? 0x40000000 : static_cast<DWORD>(capacity);
    DWORD got = 0;
    if (!state_ || !ReadFile(state_->file, data, wanted, &got, nullptr))
        return false;
    count = got;
    return true;
}

}  // namespace updater::platform

// --- Date of the last write -------------------------------------------------------------------
namespace updater::platform {
namespace {

// No sharing on purpose: a file that another process holds open counts as unreadable, and no
// backup-semantics flag, so a directory cannot be opened either.
HANDLE OpenForDate(const std::string& path) {
    return CreateFileW(win32::LongPathForm(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool ReadLastWriteDate(const std::string& path, LocalDate& date) {
    HANDLE file = OpenForDate(path);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILETIME written;
    const BOOL haveTime = GetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
    FILETIME local;
    SYSTEMTIME calendar;
    if (!haveTime || !FileTimeToLocalFileTime(&written, &local) ||
        !FileTimeToSystemTime(&local, &calendar)) {
        return false;
    }
    date.year = calendar.wYear;
    date.month = calendar.wMonth;
    date.day = calendar.wDay;
    return true;
}

}  // namespace updater::platform
