#include "platform/profile.h"

#include <windows.h>

#include "platform/win32/internal-win32.h"

// The system's own wide INI reader: it decodes files in the ANSI code page and UTF-16 files with a
// byte-order mark alike, so scripts saved either way read the same.
namespace updater::platform {
namespace {

// A value cut at the capacity may end in the first half of a surrogate pair; drop that half
// rather than let it turn into a replacement character.
std::wstring WithoutBrokenPair(const wchar_t* text, DWORD length) {
    if (length > 0 && IS_HIGH_SURROGATE(text[length - 1])) {
        --length;
    }
    return std::wstring(text, length);
}

// The reader's list format: entries each ended by a NUL, the list by one more.
std::vector<std::string> SplitAtNuls(const wchar_t* text, DWORD length) {
    std::vector<std::string> entries;
    DWORD start = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (text[i] == L'\0') {
            entries.push_back(win32::Narrow(WithoutBrokenPair(text + start, i - start)));
            start = i + 1;
        }
    }
    if (start < length) {
        entries.push_back(win32::Narrow(WithoutBrokenPair(text + start, length - start)));
    }
    return entries;
}

}  // namespace

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& fallback,
                              unsigned capacity) {
    std::wstring buffer(capacity + 1, L'\0');
    const DWORD length = GetPrivateProfileStringW(
        win32::Widen(section).c_str(), win32::Widen(key).c_str(), win32::Widen(fallback).c_str(),
        buffer.data(), capacity, win32::LongPathForm(file).c_str());
    return win32::Narrow(WithoutBrokenPair(buffer.data(), length));
}

std::vector<std::string> ReadProfileSection(const std::string& file, const std::string& section,
                                            unsigned capacity) {
    std::wstring buffer(capacity + 2, L'\0');
    const DWORD length = GetPrivateProfileSectionW(win32::Widen(section).c_str(), buffer.data(),
                                                   capacity, win32::LongPathForm(file).c_str());
    return SplitAtNuls(buffer.data(), length);
}

}  // namespace updater::platform
