#include <windows.h>

#include <cstring>
#include <string>

#include "platform/file_system.h"
#include "platform/win32/text-win32.h"

// Whether two paths lead to one entry, asked of the file system rather than of the text, so that
// letter case, short names, ".", ".." and links are all seen through.
namespace updater::platform {
namespace {

// An open handle of a file or directory (backup semantics admit directories), through any
// links, with no access asked: nothing is read and no one else is kept out.
class EntryHandle {
  public:
    explicit EntryHandle(const std::string& path)
        : handle_(CreateFileW(win32::Widen(path).c_str(), 0,
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

// The entry's own full path with every link resolved and the letter case of the disk.
bool FinalPathOf(const EntryHandle& entry, std::wstring& path) {
    const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
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

}  // namespace

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
