#include <windows.h>

#include "platform/file_system.h"
#include "platform/win32/internal-win32.h"

namespace updater::platform {
namespace {

// No sharing on purpose: a file that another process holds open counts as unreadable, and no
// backup-semantics flag, so a directory cannot be opened either.
HANDLE OpenForDate(const std::string& path) {
    return CreateFileW(win32::Widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool ReadLastWriteDate(const std::string& path, LocalDate& date) {
    HANDLE file = OpenForDate(path);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILETIME written;
    const BOOL haveTime = GetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
    FILETIME local;
    SYSTEMTIME calendar;
    if (!haveTime || !FileTimeToLocalFileTime(&written, &local) ||
        !FileTimeToSystemTime(&local, &calendar)) {
        return false;
    }
    date.year = calendar.wYear;
    date.month = calendar.wMonth;
    date.day = calendar.wDay;
    return true;
}

}  // namespace updater::platform
