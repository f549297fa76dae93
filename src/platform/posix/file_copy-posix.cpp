#include "platform/posix/file_copy-posix.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <vector>

#include "platform/posix/file_attributes-posix.h"
#include "platform/posix/internal-posix.h"

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
enum class Method { Kernel, Sendfile, Reading };

// One call moving bytes from `offset` of the source to the same place in the destination; returns
// how many it moved (0 at the source's end) and advances `offset` by as many.
ssize_t CopyStep(Method method, int from, int to, off_t& offset, size_t length,
                 std::vector<char>& buffer) {
    switch (method) {
        case Method::Kernel: {
            off_t out = offset;
            return copy_file_range(from, &offset, to, &out, length, 0);
        }
        case Method::Sendfile:
            // sendfile writes at the destination's own position.
            if (lseek(to, offset, SEEK_SET) < 0)
                return -1;
            return sendfile(to, from, &offset, length);
        case Method::Reading: {
            if (buffer.empty())
                buffer.resize(kBufferSize);
            const ssize_t got = pread(from, buffer.data(), std::min(length, buffer.size()), offset);
            if (got <= 0)
                return got;
            for (ssize_t done = 0; done < got;) {
                const ssize_t put = pwrite(to, buffer.data() + done,
                                           static_cast<size_t>(got - done), offset + done);
                if (put < 0 && errno == EINTR)
                    continue;
                if (put <= 0)
                    return -1;
                done += put;
            }
            offset += got;
            return got;
        }
    }
    return -1;
}

// Copies data ranges of the source, falling back to the next way when the current one is refused
// at its very first use. `offset` stops early where the source ends, for a file that shrank
// meanwhile.
class RangeCopier {
  public:
    RangeCopier(int from, int to) : from_(from), to_(to) {}

    bool Copy(off_t& offset, off_t end) {
        for (;;) {
            const Result result = CopyWith(offset, end);
            if (result != Result::Unsupported)
                return result == Result::Done;
            if (method_ == Method::Reading)
                return false;
            method_ = method_ == Method::Kernel ? Method::Sendfile : Method::Reading;
            first_ = true;
        }
    }

  private:
    Result CopyWith(off_t& offset, off_t end) {
        while (offset < end) {
            const size_t length = static_cast<size_t>(std::min<off_t>(end - offset, kChunk));
            const ssize_t copied = CopyStep(method_, from_, to_, offset, length, buffer_);
            if (copied == 0)
                return Result::Done;
            if (copied < 0) {
                if (errno == EINTR)
                    continue;
                return first_ && CanFallBack(errno) ? Result::Unsupported : Result::Failed;
            }
            first_ = false;
        }
        return Result::Done;
    }

    int from_;
    int to_;
    Method method_ = Method::Kernel;
    bool first_ = true;
    std::vector<char> buffer_;
};

// Where the next data range at or after `offset` lies, within [offset, end]; a file system
// without SEEK_DATA has one range, its whole content.
void NextDataRange(int from, off_t offset, off_t end, off_t& data, off_t& hole) {
    data = lseek(from, offset, SEEK_DATA);
    if (data < 0) {
        // ENXIO: only a hole is left before the end.
        data = errno == ENXIO ? end : offset;
        hole = end;
        return;
    }
    data = std::min(data, end);
    hole = lseek(from, data, SEEK_HOLE);
    if (hole <= data || hole > end)
        hole = end;
}

// Copies only the data ranges, so holes stay holes; the final size makes a trailing hole. The
// size taken when the source was opened bounds the copy, so a file that grows meanwhile cannot
// keep it going; one that shrinks ends it where its data ends.
bool CopyContents(int from, int to, off_t size) {
    RangeCopier copier(from, to);
    off_t offset = 0;
    // A file that reports no size may still have contents (the kernel's own files do): it is
    // read to its end.
    if (size == 0)
        return copier.Copy(offset, std::numeric_limits<off_t>::max());
    while (offset < size) {
        off_t data = 0;
        off_t hole = 0;
        NextDataRange(from, offset, size, data, hole);
        offset = data;
        if (!copier.Copy(offset, hole))
            return false;
        if (offset < hole)
            size = offset;
    }
    return ftruncate(to, size) == 0;
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
    const bool written = CopyContents(sourceFd, file.Get(), source.st_size) &&
                         FinishCopy(sourceFd, file.Get(), source, keepOwner);
    // A write error may first show when the file is closed.
    const bool closed = file.Close();
    if (written && closed)
        return true;
    unlink(temporary.c_str());
    return false;
}

}  // namespace updater::platform::posix
