#include <fcntl.h>
#include <sys/stat.h>

#include <string>
#include <utility>

#include "platform/file_system.h"
#include "platform/posix/file_descriptor-posix.h"
#include "platform/posix/file_path-posix.h"

// Whether two paths lead to one entry, told by device and inode number rather than by text, so
// that ".", "..", doubled slashes and links are all seen through.
namespace updater::platform {
namespace {

// A bound far beyond any real depth, so that no file system can keep the walk up going.
constexpr int kMaxDepth = 1 << 16;

bool IsSame(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool StatThrough(const std::string& path, struct stat& status) {
    std::string native;
    return posix::ToFilePath(path, native) && stat(native.c_str(), &status) == 0;
}

}  // namespace

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
