#include "platform/journal_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/file_changes.h"
#include "platform/file_system.h"
#include "platform/posix/internal-posix.h"
#include "platform/posix/system_calls-posix.h"

namespace updater::platform {
namespace {

// A few tries are enough: each retry means another process removed the journal meanwhile.
constexpr int kOpenAttempts = 8;

bool MakeDirectories(const std::string& native, mode_t mode) {
    struct stat status {};
    if (stat(native.c_str(), &status) == 0)
        return S_ISDIR(status.st_mode);
    const std::string parent = posix::ParentOf(native);
    if (parent != native && !MakeDirectories(parent, mode))
        return false;
    return posix::Calls().mkdir(native.c_str(), mode) == 0 || errno == EEXIST;
}

// The directory of a new journal is made durable too, or the file could vanish with its records.
void SyncDirectoryOf(const std::string& native) {
    const posix::FileDescriptor directory(
        open(posix::ParentOf(native).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.IsOpen())
        posix::Calls().fsync(directory.Get());
}

bool IsSameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool GetStateDirectory(std::string& path, bool create) {
    std::optional<std::string> base;
    if (geteuid() == 0)
        base = "/var/lib";
    else
        base = posix::XdgBaseDirectory("XDG_STATE_HOME", ".local/state");
    if (!base)
        return false;
    const std::string native = posix::JoinPath(*base, "updater");
    struct stat status {};
    const bool there = stat(native.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    if (!there && !(create && MakeDirectories(native, 0700)))
        return false;
    path = posix::FromNativePath(native);
    return true;
}

struct JournalFile::State {
    posix::FileDescriptor fd;
    std::string native;
};

JournalFile::JournalFile() = default;
JournalFile::~JournalFile() = default;

// The lock is the file's own: a process that opened the file before its owner removed it finds,
// once it holds the lock, that the name leads elsewhere now, and opens again.
JournalFile::Opened JournalFile::Open(const std::string& path, bool create) {
    Close();
    std::string native;
    if (!posix::ToFilePath(path, native))
        return Opened::kFailed;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        const int flags = O_RDWR | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0);
        posix::FileDescriptor fd(posix::Calls().open(native.c_str(), flags, 0600));
        if (!fd.IsOpen())
            return errno == ENOENT ? Opened::kMissing : Opened::kFailed;
        if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
            return errno == EWOULDBLOCK ? Opened::kHeld : Opened::kFailed;
        struct stat opened {};
        struct stat named {};
        if (fstat(fd.Get(), &opened) != 0)
            return Opened::kFailed;
        if (stat(native.c_str(), &named) != 0 || !IsSameFile(opened, named))
            continue;
        if (create)
            SyncDirectoryOf(native);
        state_ = std::make_unique<State>();
        state_->fd = std::move(fd);
        state_->native = native;
        return Opened::kOpened;
    }
    return Opened::kFailed;
}

bool JournalFile::IsOpen() const {
    return state_ != nullptr;
}

bool JournalFile::ReadAll(std::string& contents) {
    contents.clear();
    if (!state_)
        return false;
    char buffer[65536];
    for (off_t offset = 0;;) {
        const ssize_t count = posix::Calls().pread(state_->fd.Get(), buffer, sizeof buffer, offset);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;
        if (count == 0)
            return true;
        contents.append(buffer, static_cast<size_t>(count));
        offset += count;
    }
}

bool JournalFile::Append(const std::string& text) {
    return state_ && posix::WriteAll(state_->fd.Get(), text.data(), text.size());
}

bool JournalFile::Flush() {
    return state_ && posix::Calls().fdatasync(state_->fd.Get()) == 0;
}

bool JournalFile::Clear() {
    return state_ && posix::Calls().ftruncate(state_->fd.Get(), 0) == 0 &&
           posix::Calls().fsync(state_->fd.Get()) == 0;
}

void JournalFile::Remove() {
    if (state_)
        posix::Calls().unlink(state_->native.c_str());
    Close();
}

void JournalFile::Close() {
    state_.reset();
}

bool OnSameFileSystem(const std::string& first, const std::string& second) {
    std::string a;
    std::string b;
    struct stat one {};
    struct stat two {};
    return posix::ToFilePath(first, a) && posix::ToFilePath(second, b) &&
           stat(a.c_str(), &one) == 0 && stat(b.c_str(), &two) == 0 && one.st_dev == two.st_dev;
}

// link() on Linux names the entry itself: a symbolic link gets a second name as the link.
bool LinkEntry(const std::string& path, const std::string& kept) {
    std::string from;
    std::string to;
    if (!posix::ToFilePath(path, from) || !posix::ToFilePath(kept, to))
        return false;
    return posix::Calls().link(posix::WithoutTrailingSlashes(from).c_str(), to.c_str()) == 0;
}

// Copies and shortcuts replace the old file by rename here, so its second name keeps it whole.
bool KeepBeforeOverwrite(const std::string& path, const std::string& kept) {
    return LinkEntry(path, kept);
}

bool PutBack(const std::string& kept, const std::string& path) {
    std::string from;
    std::string to;
    if (!posix::ToFilePath(kept, from) || !posix::ToFilePath(path, to))
        return false;
    to = posix::WithoutTrailingSlashes(to);
    struct stat keptStatus {};
    struct stat pathStatus {};
    if (lstat(from.c_str(), &keptStatus) != 0)
        return false;
    if (lstat(to.c_str(), &pathStatus) == 0 && IsSameFile(keptStatus, pathStatus))
        return posix::Calls().unlink(from.c_str()) == 0;
    return posix::Calls().rename(from.c_str(), to.c_str()) == 0;
}

// The attribute bits, the exact permissions and both times; a link has only its times.
bool ReadEntryState(const std::string& path, std::string& state) {
    std::string native;
    struct stat status {};
    if (!posix::ToFilePath(path, native) ||
        lstat(posix::WithoutTrailingSlashes(native).c_str(), &status) != 0)
        return false;
    char text[160];
    std::snprintf(text, sizeof text, "%" PRIx32 " %o %lld %ld %lld %ld", GetEntryAttributes(path),
                  static_cast<unsigned>(status.st_mode & 07777),
                  static_cast<long long>(status.st_atim.tv_sec), status.st_atim.tv_nsec,
                  static_cast<long long>(status.st_mtim.tv_sec), status.st_mtim.tv_nsec);
    state = text;
    return true;
}

bool WriteEntryState(const std::string& path, const std::string& state) {
    std::string native;
    if (!posix::ToFilePath(path, native))
        return false;
    native = posix::WithoutTrailingSlashes(native);
    uint32_t attributes = 0;
    unsigned mode = 0;
    long long atime = 0;
    long long mtime = 0;
    long atimeNs = 0;
    long mtimeNs = 0;
    if (std::sscanf(state.c_str(), "%" SCNx32 " %o %lld %ld %lld %ld", &attributes, &mode, &atime,
                    &atimeNs, &mtime, &mtimeNs) != 6)
        return false;
    struct stat status {};
    if (lstat(native.c_str(), &status) != 0)
        return false;
    if (!S_ISLNK(status.st_mode)) {
        if (!backend::AttemptSetEntryAttributes(path, attributes & ~kAttributeDirectory))
            return false;
        if (posix::Calls().chmod(native.c_str(), static_cast<mode_t>(mode)) != 0)
            return false;
    }
    struct timespec times[2] = {{static_cast<time_t>(atime), atimeNs},
                                {static_cast<time_t>(mtime), mtimeNs}};
    return posix::Calls().utimensAt(AT_FDCWD, native.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

// Linux lets files and empty directories go whatever their permissions; their directory decides.
// Most entries removed are kept files, so a file is tried first.
bool RemoveEntry(const std::string& path) {
    std::string native;
    if (!posix::ToFilePath(path, native))
        return false;
    native = posix::WithoutTrailingSlashes(native);
    if (posix::Calls().unlink(native.c_str()) == 0 || errno == ENOENT)
        return true;
    return errno == EISDIR && posix::Calls().rmdir(native.c_str()) == 0;
}

// One syncfs per file system: it writes out all of that file system's changes, those of many
// files in one go, far cheaper than an fsync of each file and of each directory; what else it
// writes out would have been written out soon anyway.
bool MakeChangesDurable(const std::vector<std::string>& paths) {
    std::set<std::string> seen;
    std::map<dev_t, std::string> systems;
    for (const std::string& path : paths) {
        std::string native;
        if (!posix::ToFilePath(path, native))
            return false;
        // The directory of the entry is where its change lies; a file's own data is on its device.
        for (std::string directory = posix::ParentOf(posix::WithoutTrailingSlashes(native));
             seen.insert(directory).second;) {
            struct stat status {};
            if (stat(directory.c_str(), &status) == 0) {
                systems.emplace(status.st_dev, directory);
                break;
            }
            const std::string up = posix::ParentOf(directory);
            if (up == directory)
                return false;
            directory = up;
        }
    }
    for (const auto& [device, directory] : systems) {
        const posix::FileDescriptor fd(
            posix::Calls().open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
        if (!fd.IsOpen() || posix::Calls().syncfs(fd.Get()) != 0)
            return false;
    }
    return true;
}

}  // namespace updater::platform
