#include "platform/posix/internal-posix.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace updater::platform::posix {

FileDescriptor::~FileDescriptor() {
    Close();
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.Release();
    }
    return *this;
}

int FileDescriptor::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool FileDescriptor::Close() {
    if (fd_ < 0)
        return true;
    const int fd = Release();
    return close(fd) == 0;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool WriteAllWithoutSigpipe(int fd, const char* data, std::size_t size) {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t saved;
    if (pthread_sigmask(SIG_BLOCK, &pipeSignal, &saved) != 0)
        return false;
    // A SIGPIPE that was already waiting belongs to someone else and is left for them.
    sigset_t pending;
    sigemptyset(&pending);
    const bool wasPending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    errno = 0;
    const bool written = WriteAll(fd, data, size);
    if (!written && errno == EPIPE && !wasPending) {
        const timespec now{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    return written;
}

// A longer file is read as its first part rather than refused: files under /proc tell no size
// (they show 0) and can grow long at their end (the groups in /proc/self/status), while what is
// read from them comes first; the other files read so are a few lines long.
std::optional<std::string> ReadSmallRegularFile(const std::string& path) {
    // O_NONBLOCK keeps a named pipe from blocking the open; O_NOCTTY keeps a terminal from
    // becoming the controlling one before it is refused.
    const FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (!file.IsOpen() || fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    std::string text(kSmallFileLimit, '\0');
    std::size_t size = 0;
    while (size < text.size()) {
        const ssize_t got = read(file.Get(), text.data() + size, text.size() - size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        size += static_cast<std::size_t>(got);
    }
    text.resize(size);
    return text;
}

}  // namespace updater::platform::posix
