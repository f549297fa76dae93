#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <climits>
#include <optional>

#include "platform/overrides.h"
#include "platform/system.h"
#include "platform/win32/internal-win32.h"

// --- The program and the system ---------------------------------------------------------------
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
    if (overrides::ModuleFile())
        return *overrides::ModuleFile();
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

// --- Special folders --------------------------------------------------------------------------
namespace updater::platform {
namespace {

// The item-id list belongs to the shell's allocator; without the allocator it cannot be freed.
void FreeItemList(LPITEMIDLIST items) {
    IMalloc* allocator = nullptr;
    if (SHGetMalloc(&allocator) == S_OK) {
        allocator->Free(items);
        allocator->Release();
    }
}

}  // namespace

bool GetSpecialFolderPath(int csidl, std::string& path) {
    if (overrides::SpecialFoldersMissing()) {
        return false;
    }
    LPITEMIDLIST items = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, csidl, &items) != S_OK) {
        return false;
    }
    wchar_t buffer[MAX_PATH] = {};
    const BOOL found = SHGetPathFromIDListW(items, buffer);
    FreeItemList(items);
    if (!found) {
        return false;
    }
    path = win32::Narrow(buffer);
    return true;
}

}  // namespace updater::platform

// --- Environment ------------------------------------------------------------------------------
namespace updater::platform {

void WriteStandardError(const std::string& text) {
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    // Bytes as they are: a redirected report is read as UTF-8, like the run log.
    DWORD written = 0;
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool HasDriveLetters() {
    return true;
}

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

// --- Appending to a file ----------------------------------------------------------------------
namespace updater::platform {
namespace {

bool WriteAll(HANDLE file, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        const size_t left = text.size() - written;
        const DWORD chunk = left > INT_MAX ? INT_MAX : static_cast<DWORD>(left);
        DWORD count = 0;
        if (!WriteFile(file, text.data() + written, chunk, &count, nullptr) || count == 0) {
            return false;
        }
        written += count;
    }
    return true;
}

}  // namespace

// Append-only access makes every write land at the end, also when another process appends to
// the same log; the sharing lets it be read, and written by others, while it is open.
bool AppendToFile(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileW(win32::LongPathForm(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool written = WriteAll(file, text);
    const bool closed = CloseHandle(file) != FALSE;
    return written && closed;
}

}  // namespace updater::platform
