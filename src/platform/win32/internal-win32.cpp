#include "platform/win32/internal-win32.h"

#include <windows.h>

#include <climits>

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

}  // namespace updater::platform::win32
