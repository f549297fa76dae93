#include "platform/posix/system_calls-posix.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace updater::platform::posix {

SystemCalls& Calls() {
    // open and openat take their mode through "...", which no plain pointer can stand for.
    static SystemCalls calls = {
        [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        [](int directoryFd, const char* path, int flags, mode_t mode) {
            return ::openat(directoryFd, path, flags, mode);
        },
        ::close,
        ::read,
        ::pread,
        ::write,
        ::pwrite,
        ::copy_file_range,
        ::sendfile,
        ::ftruncate,
        ::readlink,
        ::rename,
        ::renameat2,
        ::link,
        ::symlink,
        ::unlink,
        ::mkdir,
        ::rmdir,
        ::chmod,
        ::fchmod,
        ::fchown,
        ::setxattr,
        ::fsetxattr,
        ::removexattr,
        ::futimens,
        ::utimensat,
        ::fsync,
        ::fdatasync,
        ::syncfs,
    };
    return calls;
}

}  // namespace updater::platform::posix
