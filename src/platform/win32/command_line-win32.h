#pragma once

#include <string>

namespace updater::platform::win32 {

// The part of a full command line after the program's name, as a GUI program receives it: a name
// that begins with a double quote runs to the next double quote, any other name to the first
// blank; the blanks after the name are skipped too.
std::wstring CommandTail(const wchar_t* commandLine);

}  // namespace updater::platform::win32
