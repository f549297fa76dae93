#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <string>
#include <utility>

#include "platform/file_system.h"
#include "platform/posix/file_path-posix.h"
#include "platform/posix/internal-posix.h"

// Where paths lead, told by device and inode number and by the links on the way rather than by
// text, so that ".", "..", doubled slashes and links are all seen through.
namespace updater::platform {
namespace {

// A bound far beyond any real depth, so that no file system can keep the walk up going.
constexpr int kMaxDepth = 1 << 16;
// The links the kernel follows on one path before it gives up with ELOOP.
constexpr int kMaxLinks = 40;

bool IsSame(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool StatThrough(const std::string& path, struct stat& status) {
    std::string native;
    return posix::ToFilePath(path, native) && stat(native.c_str(), &status) == 0;
}

// The names of a native path in order; empty names (doubled and trailing slashes) name nothing.
std::deque<std::string> NamesOf(const std::string& native) {
    std::deque<std::string> names;
    for (std::string::size_type start = 0; start <= native.size();) {
        std::string::size_type end = native.find('/', start);
        if (end == std::string::npos)
            end = native.size();
        if (end > start)
            names.push_back(native.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::string ParentDirectory(const std::string& resolved) {
    const std::string::size_type slash = resolved.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : resolved.substr(0, slash);
}

std::string Child(const std::string& directory, const std::string& name) {
    return directory == "/" ? "/" + name : directory + "/" + name;
}

bool ReadLinkText(const std::string& path, std::string& target) {
    char buffer[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), buffer, sizeof buffer);
    if (length < 0 || static_cast<size_t>(length) >= sizeof buffer)
        return false;
    target.assign(buffer, static_cast<size_t>(length));
    return true;
}

// Walks `names` from `resolved` as the kernel walks a path: "." stays, ".." goes up from where the
// walk really is, a link is replaced by what it leads to. A name that does not exist is taken as
// written, with everything after it: those are the directories a transfer is about to create.
bool WalkNames(std::deque<std::string> names, std::string& resolved) {
    int links = 0;
    bool exists = true;
    while (!names.empty()) {
        const std::string name = std::move(names.front());
        names.pop_front();
        if (name == ".")
            continue;
        if (name == "..") {
            resolved = ParentDirectory(resolved);
            continue;
        }
        const std::string next = Child(resolved, name);
        struct stat status {};
        exists = exists && lstat(next.c_str(), &status) == 0;
        if (!exists || !S_ISLNK(status.st_mode)) {
            resolved = next;
            continue;
        }
        std::string target;
        if (++links > kMaxLinks || !ReadLinkText(next, target))
            return false;
        std::deque<std::string> through = NamesOf(target);
        names.insert(names.begin(), through.begin(), through.end());
        if (!target.empty() && target[0] == '/')
            resolved = "/";
    }
    return true;
}

bool WorkingDirectory(std::string& resolved) {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) == nullptr)
        return false;
    resolved = buffer;
    return true;
}

}  // namespace

// The directories of the path are walked as the kernel walks them; the last name is the entry
// itself, unless it is "." or "..", which name a directory of the walk.
Place PlaceOf(const std::string& path) {
    std::string native;
    if (!posix::ToFilePath(path, native))
        return Place::kNowhere;
    std::string resolved = "/";
    if (native[0] != '/' && !WorkingDirectory(resolved))
        return Place::kNowhere;
    std::deque<std::string> names = NamesOf(native);
    std::string last;
    if (!names.empty() && names.back() != "." && names.back() != "..") {
        last = names.back();
        names.pop_back();
    }
    if (!WalkNames(std::move(names), resolved))
        return Place::kNowhere;
    const std::string place = last.empty() ? resolved : Child(resolved, last);
    if (place == "/")
        return Place::kRoot;
    return ParentDirectory(place) == "/" ? Place::kInRoot : Place::kElsewhere;
}

bool IsSameEntry(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    return StatThrough(first, a) && StatThrough(second, b) && IsSame(a, b);
}

// The walk goes up by "..", from wherever `inner` really is: the way it was written (through a
// link, say) does not matter. The root is its own parent.
bool LiesWithin(const std::string& inner, const std::string& outer) {
    std::string native;
    struct stat wanted {};
    if (!StatThrough(outer, wanted) || !posix::ToFilePath(inner, native))
        return false;
    posix::FileDescriptor current(open(native.c_str(), O_PATH | O_CLOEXEC));
    struct stat status {};
    if (!current.IsOpen() || fstat(current.Get(), &status) != 0)
        return false;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        if (IsSame(status, wanted))
            return true;
        if (!S_ISDIR(status.st_mode))
            return false;
        posix::FileDescriptor parent(openat(current.Get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat parentStatus {};
        if (!parent.IsOpen() || fstat(parent.Get(), &parentStatus) != 0 ||
            IsSame(parentStatus, status))
            return false;
        current = std::move(parent);
        status = parentStatus;
    }
    return false;
}

}  // namespace updater::platform
