#include "platform/win32/paths-win32.h"

#include <windows.h>

namespace updater::platform::win32 {
namespace {

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

}  // namespace

std::wstring FullPathOf(const std::wstring& path) {
    if (path.empty())
        return std::wstring();
    if (StartsWith(path, L"\\??\\"))
        return L"\\\\?\\" + path.substr(4);
    std::wstring full(MAX_PATH, L'\0');
    // The size needed can change between the calls when another thread moves the working
    // directory; a few tries settle it.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD size = static_cast<DWORD>(full.size());
        const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
        if (length == 0)
            return std::wstring();
        if (length < size) {
            full.resize(length);
            return full;
        }
        full.assign(length, L'\0');
    }
    return std::wstring();
}

std::wstring FoldedAsDevicePath(const std::wstring& full) {
    if (!StartsWith(full, L"\\\\?\\"))
        return full;
    const std::wstring folded = FullPathOf(L"\\\\.\\" + full.substr(4));
    if (!StartsWith(folded, L"\\\\.\\"))
        return full;
    return L"\\\\?\\" + folded.substr(4);
}

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

}  // namespace updater::platform::win32
