#include "platform/win32/internal-win32.h"

namespace updater::platform::win32 {
namespace {

// Every control character counts as a blank here, as in the startup code of Windows programs.
bool IsBlank(wchar_t c) {
    return c != L'\0' && c <= L' ';
}

const wchar_t* SkipProgramName(const wchar_t* p) {
    if (*p == L'"') {
        ++p;
        while (*p != L'\0' && *p != L'"') {
            ++p;
        }
        return *p == L'"' ? p + 1 : p;
    }
    while (*p != L'\0' && !IsBlank(*p)) {
        ++p;
    }
    return p;
}

}  // namespace

std::wstring CommandTail(const wchar_t* commandLine) {
    if (commandLine == nullptr) {
        return std::wstring();
    }
    const wchar_t* p = SkipProgramName(commandLine);
    while (IsBlank(*p)) {
        ++p;
    }
    return p;
}

}  // namespace updater::platform::win32
