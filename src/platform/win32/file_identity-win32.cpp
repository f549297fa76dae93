#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/win32/internal-win32.h"
#include "platform/win32/paths-win32.h"

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
        : handle_(CreateFileW(path.c_str(), 0,
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
