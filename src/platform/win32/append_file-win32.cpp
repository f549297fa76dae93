#include <windows.h>

#include <climits>

#include "platform/system.h"
#include "platform/win32/internal-win32.h"

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
    HANDLE file = CreateFileW(win32::Widen(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
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
