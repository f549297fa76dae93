#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "platform/file_system.h"
#include "platform/posix/file_descriptor-posix.h"
#include "platform/posix/file_path-posix.h"

namespace updater::platform {
namespace {

// Another process that opens the file while the lease is held breaks the lease, and the kernel
// tells the holder with SIGIO, whose default action ends the process. SIGIO is ignored while the
// lease is held (nothing else in this program uses it), so that notice is discarded. Ignoring it
// once more after the lease is given back discards a notice that stayed pending because a thread
// had SIGIO blocked; then the previous action returns.
class LeaseNoticesIgnored {
  public:
    LeaseNoticesIgnored() { Ignore(&previous_); }
    ~LeaseNoticesIgnored() {
        Ignore(nullptr);
        sigaction(SIGIO, &previous_, nullptr);
    }
    LeaseNoticesIgnored(const LeaseNoticesIgnored&) = delete;
    LeaseNoticesIgnored& operator=(const LeaseNoticesIgnored&) = delete;

  private:
    static void Ignore(struct sigaction* previous) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGIO, &ignore, previous);
    }

    struct sigaction previous_ {};
};

// Windows opens the file without sharing, which fails while anyone else holds it open. A write
// lease can be taken only when no other descriptor of the file is open anywhere; it is given
// back at once. Where leases are unavailable (not the owner, or a file system without them) the
// open alone decides.
bool IsHeldOpenElsewhere(int fd) {
    const LeaseNoticesIgnored ignored;
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
    const posix::FileDescriptor file(
        open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat status {};
    tm local{};
    if (!file.IsOpen() || fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        IsHeldOpenElsewhere(file.Get()) || localtime_r(&status.st_mtime, &local) == nullptr)
        return false;
    date.year = static_cast<uint16_t>(local.tm_year + 1900);
    date.month = static_cast<uint16_t>(local.tm_mon + 1);
    date.day = static_cast<uint16_t>(local.tm_mday);
    return true;
}

}  // namespace updater::platform
