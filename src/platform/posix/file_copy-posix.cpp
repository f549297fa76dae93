#include "platform/posix/file_copy-posix.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/posix/file_attributes-posix.h"
#include "platform/posix/file_descriptor-posix.h"

namespace updater::platform::posix {
namespace {

constexpr size_t kChunk = size_t{1} << 30;
constexpr size_t kBufferSize = size_t{1} << 17;
constexpr int kNameAttempts = 100;

// The kernel copies without passing the data through this process; file systems that cannot do
// that refuse at the first call, before anything was written.
bool CanFallBack(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP ||
           error == EBADF;
}

enum class Result { Done, Failed, Unsupported };

// Repeats one in-kernel transfer call until the source is used up. A call the kernel or the file
// system does not offer fails at once, which leaves the caller free to try another way.
template <typename Transfer>
Result CopyInChunks(Transfer transfer) {
    bool first = true;
    for (;;) {
        const ssize_t copied = transfer();
        if (copied == 0)
            return Result::Done;
        if (copied < 0) {
            if (errno == EINTR)
                continue;
            return first && CanFallBack(errno) ? Result::Unsupported : Result::Failed;
        }
        first = false;
    }
}

Result CopyInKernel(int from, int to) {
    return CopyInChunks([&] { return copy_file_range(from, nullptr, to, nullptr, kChunk, 0); });
}

Result CopyBySendfile(int from, int to) {
    return CopyInChunks([&] { return sendfile(to, from, nullptr, kChunk); });
}

bool CopyByReading(int from, int to) {
    std::vector<char> buffer(kBufferSize);
    for (;;) {
        ssize_t got = read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (!WriteAll(to, buffer.data(), static_cast<size_t>(got)))
            return false;
    }
}

bool CopyContents(int from, int to) {
    Result result = CopyInKernel(from, to);
    if (result == Result::Unsupported)
        result = CopyBySendfile(from, to);
    if (result == Result::Unsupported)
        return CopyByReading(from, to);
    return result == Result::Done;
}

// A hidden name that no script names, unique enough that a clash only costs another attempt.
std::string TemporaryName(const std::string& directory, int attempt) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    char name[64];
    std::snprintf(name, sizeof name, "/.~updater-%ld-%lx.tmp", static_cast<long>(getpid()),
                  static_cast<unsigned long>(now.tv_nsec) + static_cast<unsigned long>(attempt));
    return directory + name;
}

int CreateTemporary(const std::string& directory, std::string& temporary) {
    int fd = -1;
    MakeTemporaryEntry(
        directory,
        [&fd](const std::string& name) {
            fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            return fd >= 0;
        },
        temporary);
    return fd;
}

// Attributes before permissions (Linux guards extended attributes with the write permission),
// and the time last, after every write.
bool FinishCopy(int from, int to, const struct stat& source, bool keepOwner) {
    if (keepOwner && fchown(to, source.st_uid, source.st_gid) != 0 && errno != EPERM)
        return false;
    if (!CopyStoredAttributes(from, to))
        return false;
    if (fchmod(to, source.st_mode & 0777) != 0)
        return false;
    const timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
    return futimens(to, times) == 0;
}

}  // namespace

bool MakeTemporaryEntry(const std::string& directory,
                        const std::function<bool(const std::string&)>& make,
                        std::string& temporary) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temporary = TemporaryName(directory == "/" ? std::string() : directory, attempt);
        if (make(temporary))
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool WriteTemporaryCopy(int sourceFd, const struct stat& source, const std::string& directory,
                        bool keepOwner, std::string& temporary) {
    FileDescriptor file(CreateTemporary(directory, temporary));
    if (!file.IsOpen())
        return false;
    const bool written =
        CopyContents(sourceFd, file.Get()) && FinishCopy(sourceFd, file.Get(), source, keepOwner);
    // A write error may first show when the file is closed.
    const bool closed = file.Close();
    if (written && closed)
        return true;
    unlink(temporary.c_str());
    return false;
}

}  // namespace updater::platform::posix
