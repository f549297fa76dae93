#include "platform/win32/internal-win32.h"

#include <windows.h>

#include <climits>
#include <cwchar>

namespace updater::platform::win32 {

// Both conversions run without the "fail on invalid input" flag, so the system substitutes U+FFFD
// for what it cannot convert instead of refusing the whole text.
std::wstring Widen(const std::string& text) {
    if (text.empty() || text.size() > INT_MAX) {
        return std::wstring();
    }
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), needed);
    return wide;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty() || text.size() > INT_MAX) {
        return std::string();
    }
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), needed, nullptr, nullptr);
    return narrow;
}

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

// Directory creation stops first, at MAX_PATH less room for an 8.3 name; the long form is used
// from a little before that, so that no call meets its limit.
constexpr size_t kLongPathFrom = MAX_PATH - 20;

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

// "\\?\" turns the system's folding off, so the path is folded here first, by the system's own
// rules; a device ("\\.\nul") or an object path keeps the text it was given.
std::wstring LongPathForm(const std::wstring& path) {
    if (StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\??\\"))
        return path;
    const std::wstring full = FullPathOf(path);
    if (full.size() < kLongPathFrom || StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\"))
        return path;
    if (StartsWith(full, L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    const bool drive = full.size() >= 3 && full[1] == L':' && full[2] == L'\\';
    return drive ? L"\\\\?\\" + full : path;
}

std::wstring LongPathForm(const std::string& path) {
    return LongPathForm(Widen(path));
}

}  // namespace updater::platform::win32
