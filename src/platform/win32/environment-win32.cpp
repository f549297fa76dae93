#include <windows.h>

#include "platform/system.h"
#include "platform/win32/internal-win32.h"

namespace updater::platform {

bool GetEnvironmentText(const char* name, std::string& value) {
    const std::wstring wideName = win32::Widen(name);
    std::wstring buffer(256, L'\0');
    for (;;) {
        // A set but empty variable also returns 0; only the error tells it from a missing one.
        SetLastError(ERROR_SUCCESS);
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), size);
        if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            return false;
        }
        // A short buffer gives the size needed, terminator included.
        if (length < size) {
            buffer.resize(length);
            value = win32::Narrow(buffer);
            return true;
        }
        buffer.assign(length, L'\0');
    }
}

}  // namespace updater::platform
