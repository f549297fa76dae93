#include <windows.h>

#include "platform/file_system.h"
#include "platform/win32/internal-win32.h"
#include "platform/win32/links-win32.h"

namespace updater::platform {

struct DirectorySearch::State {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

namespace {

void TakeEntry(const WIN32_FIND_DATAW& data, FoundEntry& entry) {
    entry.name = win32::Narrow(data.cFileName);
    entry.attributes = win32::WithLinksMarkedOnly(data.dwFileAttributes, data.dwReserved0);
}

}  // namespace

DirectorySearch::DirectorySearch() : state_(std::make_unique<State>()) {}

DirectorySearch::~DirectorySearch() {
    Close();
}

bool DirectorySearch::Start(const std::string& pattern, FoundEntry& first) {
    Close();
    WIN32_FIND_DATAW data;
    state_->handle = FindFirstFileW(win32::Widen(pattern).c_str(), &data);
    if (state_->handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    TakeEntry(data, first);
    return true;
}

bool DirectorySearch::Next(FoundEntry& entry) {
    WIN32_FIND_DATAW data;
    if (state_->handle == INVALID_HANDLE_VALUE || !FindNextFileW(state_->handle, &data)) {
        return false;
    }
    TakeEntry(data, entry);
    return true;
}

void DirectorySearch::Close() {
    if (state_->handle != INVALID_HANDLE_VALUE) {
        FindClose(state_->handle);
        state_->handle = INVALID_HANDLE_VALUE;
    }
}

}  // namespace updater::platform
