#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/file_system.h"
#include "platform/posix/file_path-posix.h"

namespace updater::platform {
namespace {

// Windows opens the file without sharing, which fails while anyone else holds it open. A write
// lease can be taken only when no other descriptor of the file is open anywhere; it is given
// back at once. Where leases are unavailable (not the owner, or a file system without them) the
// open alone decides.
bool IsHeldOpenElsewhere(int fd) {
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        fcntl(fd, F_SETLEASE, F_UNLCK);
        return false;
    }
    return errno == EAGAIN || errno == EBUSY;
}

}  // namespace

bool ReadLastWriteDate(const std::string& path, LocalDate& date) {
    std::string native;
    if (!posix::ToFilePath(path, native))
        return false;
    int fd = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat status {};
    tm local{};
    bool read = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && !IsHeldOpenElsewhere(fd) &&
                localtime_r(&status.st_mtime, &local) != nullptr;
    close(fd);
    if (!read)
        return false;
    date.year = static_cast<uint16_t>(local.tm_year + 1900);
    date.month = static_cast<uint16_t>(local.tm_mon + 1);
    date.day = static_cast<uint16_t>(local.tm_mday);
    return true;
}

}  // namespace updater::platform
