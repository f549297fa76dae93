#include <sys/stat.h>
#include <time.h>

#include <string>

#include "platform/file_system.h"
#include "platform/posix/unshared_file-posix.h"

namespace updater::platform {

bool ReadLastWriteDate(const std::string& path, LocalDate& date) {
    struct stat status {};
    const posix::FileDescriptor file = posix::OpenUnshared(path, status);
    tm local{};
    if (!file.IsOpen() || localtime_r(&status.st_mtime, &local) == nullptr)
        return false;
    date.year = static_cast<uint16_t>(local.tm_year + 1900);
    date.month = static_cast<uint16_t>(local.tm_mon + 1);
    date.day = static_cast<uint16_t>(local.tm_mday);
    return true;
}

}  // namespace updater::platform
