#include "platform/posix/ini_cache-posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/posix/internal-posix.h"

namespace updater::platform::posix {

namespace {

// A rewrite within one clock tick can keep the modification time; the change time, size and
// inode (a file replaced by rename) catch most of those too.
struct FileStamp {
    dev_t device;
    ino_t inode;
    off_t size;
    timespec modified;
    timespec changed;
};

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool operator==(const FileStamp& a, const FileStamp& b) {
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           SameTime(a.modified, b.modified) && SameTime(a.changed, b.changed);
}

FileStamp StampOf(const struct stat& info) {
    return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

struct CachedFile {
    FileStamp stamp;
    std::shared_ptr<const IniFile> file;
};

// Scripts name one or two settings files; the bound only keeps a pathological caller in check.
constexpr std::size_t kMaxCachedFiles = 16;

std::optional<std::string> ReadAll(int fd) {
    std::string text;
    char chunk[65536];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got == 0)
            return text;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        text.append(chunk, static_cast<std::size_t>(got));
    }
}

// The content of a regular file and its stamp taken before reading, so that a change during the
// read shows at the next call. O_NONBLOCK keeps a named pipe from blocking the open.
std::optional<std::string> ReadRegularFile(const std::string& path, FileStamp& stamp) {
    const FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (file.Get() < 0 || fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    stamp = StampOf(info);
    return ReadAll(file.Get());
}

std::shared_ptr<const IniFile> Reload(const std::string& nativePath,
                                      std::unordered_map<std::string, CachedFile>& cache) {
    cache.erase(nativePath);
    FileStamp stamp{};
    const std::optional<std::string> text = ReadRegularFile(nativePath, stamp);
    if (!text)
        return nullptr;
    auto file = std::make_shared<const IniFile>(*text);
    if (cache.size() >= kMaxCachedFiles)
        cache.clear();
    cache.emplace(nativePath, CachedFile{stamp, file});
    return file;
}

}  // namespace

std::shared_ptr<const IniFile> LoadIniFile(const std::string& nativePath) {
    static std::mutex guard;
    static std::unordered_map<std::string, CachedFile> cache;
    const std::lock_guard<std::mutex> lock(guard);

    struct stat info {};
    if (stat(nativePath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        cache.erase(nativePath);
        return nullptr;
    }
    const auto found = cache.find(nativePath);
    if (found != cache.end() && found->second.stamp == StampOf(info))
        return found->second.file;
    return Reload(nativePath, cache);
}

}  // namespace updater::platform::posix
