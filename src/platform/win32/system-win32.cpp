#include <objbase.h>
#include <windows.h>

#include <optional>

#include "platform/overrides.h"
#include "platform/system.h"
#include "platform/win32/internal-win32.h"

namespace updater::platform {
namespace {

// The directory calls return the size they need, terminator included, when the buffer is short.
template <typename DirectoryCall>
std::string ReadDirectory(DirectoryCall call) {
    std::wstring buffer(MAX_PATH, L'\0');
    UINT length = call(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length >= buffer.size()) {
        buffer.assign(length, L'\0');
        length = call(buffer.data(), static_cast<UINT>(buffer.size()));
    }
    buffer.resize(length < buffer.size() ? length : 0);
    return win32::Narrow(buffer);
}

}  // namespace

std::string GetModulePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        // A full buffer means the path may have been cut: try again with more room.
        if (length < size) {
            buffer.resize(length);
            return win32::Narrow(buffer);
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
}

std::string GetWindowsDirectoryPath() {
    return ReadDirectory(
        [](wchar_t* buffer, UINT size) { return GetWindowsDirectoryW(buffer, size); });
}

std::string GetSystemDirectoryPath() {
    return ReadDirectory(
        [](wchar_t* buffer, UINT size) { return GetSystemDirectoryW(buffer, size); });
}

bool IsNtFamily() {
    if (std::optional<bool> forced = overrides::NtFamily()) {
        return *forced;
    }
    // Only the platform id is looked at; a failed query leaves it 0, which is not NT.
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExW(&version);
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// Shortcuts are made through COM objects, which need the apartment of this thread.
void StartComponentModel() {
    CoInitialize(nullptr);
}

void StopComponentModel() {
    CoUninitialize();
}

}  // namespace updater::platform
