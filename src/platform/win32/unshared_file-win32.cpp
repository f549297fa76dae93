#include <windows.h>

#include "platform/file_system.h"
#include "platform/win32/internal-win32.h"

namespace updater::platform {

struct UnsharedFile::State {
    HANDLE file = INVALID_HANDLE_VALUE;

    ~State() {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
};

UnsharedFile::UnsharedFile() = default;
UnsharedFile::~UnsharedFile() = default;

// No sharing on purpose: a file that another process holds open cannot be opened, and nobody
// else can open it while it is read. Without the backup-semantics flag a directory cannot be
// opened; a device (NUL, COM1) opens, but is no disk file.
bool UnsharedFile::Open(const std::string& path) {
    state_ = std::make_unique<State>();
    state_->file = CreateFileW(win32::Widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (state_->file == INVALID_HANDLE_VALUE || GetFileType(state_->file) != FILE_TYPE_DISK) {
        state_.reset();
        return false;
    }
    return true;
}

bool UnsharedFile::GetSize(uint64_t& size) {
    LARGE_INTEGER value;
    if (!state_ || !GetFileSizeEx(state_->file, &value))
        return false;
    size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool UnsharedFile::Read(unsigned char* data, size_t capacity, size_t& count) {
    // One call reads at most what a DWORD counts.
    const DWORD wanted = capacity > 0x40000000 ? 0x40000000 : static_cast<DWORD>(capacity);
    DWORD got = 0;
    if (!state_ || !ReadFile(state_->file, data, wanted, &got, nullptr))
        return false;
    count = got;
    return true;
}

}  // namespace updater::platform
