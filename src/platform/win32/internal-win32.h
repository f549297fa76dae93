#pragma once

#include <string>

// The engine speaks UTF-8; the wide Win32 calls speak UTF-16. Every crossing goes through here.
namespace updater::platform::win32 {

// UTF-8 to UTF-16; bytes that are not valid UTF-8 become U+FFFD.
std::wstring Widen(const std::string& text);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Narrow(const std::wstring& text);

}  // namespace updater::platform::win32
