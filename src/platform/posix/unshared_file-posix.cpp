#include "platform/posix/unshared_file-posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/file_system.h"
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

namespace posix {

FileDescriptor OpenUnshared(const std::string& enginePath, struct stat& status) {
    std::string native;
    if (!ToFilePath(enginePath, native))
        return FileDescriptor();
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused as no regular file right after.
    FileDescriptor file(open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file.IsOpen() || fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        IsHeldOpenElsewhere(file.Get()))
        return FileDescriptor();
    return file;
}

}  // namespace posix

struct UnsharedFile::State {
    posix::FileDescriptor file;
    struct stat status {};
};

UnsharedFile::UnsharedFile() = default;
UnsharedFile::~UnsharedFile() = default;

bool UnsharedFile::Open(const std::string& path) {
    state_ = std::make_unique<State>();
    state_->file = posix::OpenUnshared(path, state_->status);
    if (!state_->file.IsOpen()) {
        state_.reset();
        return false;
    }
    posix_fadvise(state_->file.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

bool UnsharedFile::GetSize(uint64_t& size) {
    if (!state_)
        return false;
    size = static_cast<uint64_t>(state_->status.st_size);
    return true;
}

bool UnsharedFile::Read(unsigned char* data, size_t capacity, size_t& count) {
    if (!state_)
        return false;
    for (;;) {
        const ssize_t got = read(state_->file.Get(), data, capacity);
        if (got >= 0) {
            count = static_cast<size_t>(got);
            return true;
        }
        if (errno != EINTR)
            return false;
    }
}

}  // namespace updater::platform
