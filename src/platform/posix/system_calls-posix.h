#pragma once

#include <sys/types.h>
#include <time.h>

#include <cstddef>

// The system calls through which this backend reads and changes files, as one table of function
// pointers that starts out with the real calls. Everything the backend does to a file's contents
// or names goes through it, so that a test can put a failing call in place of any of them and see
// what the program leaves behind; nothing else ever changes the table.
namespace updater::platform::posix {

struct SystemCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    int (*openAt)(int directoryFd, const char* path, int flags, mode_t mode);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void* data, size_t size);
    ssize_t (*pread)(int fd, void* data, size_t size, off_t offset);
    ssize_t (*write)(int fd, const void* data, size_t size);
    ssize_t (*pwrite)(int fd, const void* data, size_t size, off_t offset);
    ssize_t (*copyFileRange)(int from, off_t* fromOffset, int to, off_t* toOffset, size_t size,
                             unsigned flags);
    ssize_t (*sendfile)(int to, int from, off_t* offset, size_t size);
    int (*ftruncate)(int fd, off_t size);
    ssize_t (*readlink)(const char* path, char* buffer, size_t size);
    int (*rename)(const char* from, const char* to);
    int (*renameAt2)(int fromDirectoryFd, const char* from, int toDirectoryFd, const char* to,
                     unsigned flags);
    int (*link)(const char* existing, const char* name);
    int (*symlink)(const char* target, const char* name);
    int (*unlink)(const char* path);
    int (*mkdir)(const char* path, mode_t mode);
    int (*rmdir)(const char* path);
    int (*chmod)(const char* path, mode_t mode);
    int (*fchmod)(int fd, mode_t mode);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*setxattr)(const char* path, const char* name, const void* value, size_t size, int flags);
    int (*fsetxattr)(int fd, const char* name, const void* value, size_t size, int flags);
    int (*removexattr)(const char* path, const char* name);
    int (*futimens)(int fd, const timespec times[2]);
    int (*utimensAt)(int directoryFd, const char* path, const timespec times[2], int flags);
    int (*fsync)(int fd);
    int (*fdatasync)(int fd);
    int (*syncfs)(int fd);
};

// The table in use; a test swaps entries and puts the saved table back when it is done.
SystemCalls& Calls();

}  // namespace updater::platform::posix
