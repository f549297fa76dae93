#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "platform/file_system.h"
#include "platform/posix/file_attributes-posix.h"
#include "platform/posix/file_copy-posix.h"
#include "platform/posix/file_descriptor-posix.h"
#include "platform/posix/file_path-posix.h"

// File and directory changes with the refusals of Windows: read-only and hidden destinations
// are not overwritten, read-only files and directories are not removed, moves never replace.
namespace updater::platform {
namespace {

bool IsSameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// What Windows will not copy over: a directory, the source itself, a read-only or hidden file.
bool MayReplace(const std::string& native, const struct stat& source) {
    struct stat status {};
    if (lstat(native.c_str(), &status) != 0)
        return errno == ENOENT;
    if (S_ISDIR(status.st_mode) || IsSameFile(status, source) || posix::IsReadOnly(status))
        return false;
    return S_ISLNK(status.st_mode) ||
           (posix::ReadStoredAttributes(native, status) & kAttributeHidden) == 0;
}

// Renames without ever replacing an existing entry, atomically where the file system can refuse
// by itself. Elsewhere a file gets its new name as a second link first, which cannot replace
// anything either; a directory has only a test just before the rename.
bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    struct stat status {};
    if (lstat(from.c_str(), &status) != 0)
        return false;
    if (!S_ISDIR(status.st_mode)) {
        if (link(from.c_str(), to.c_str()) != 0)
            return false;
        if (unlink(from.c_str()) == 0)
            return true;
        const int error = errno;
        unlink(to.c_str());
        errno = error;
        return false;
    }
    struct stat existing {};
    if (lstat(to.c_str(), &existing) == 0 || errno != ENOENT) {
        errno = EEXIST;
        return false;
    }
    return rename(from.c_str(), to.c_str()) == 0;
}

// Puts a finished temporary file in place of the destination, or beside nothing when
// `replace` is false; the temporary file is gone afterwards in either case.
bool PlaceTemporary(const std::string& temporary, const std::string& destination, bool replace) {
    const bool placed = replace ? rename(temporary.c_str(), destination.c_str()) == 0
                                : RenameWithoutReplacing(temporary, destination);
    if (!placed)
        unlink(temporary.c_str());
    return placed;
}

bool CopyRegularFile(const std::string& from, const std::string& to, bool replace, bool keepOwner) {
    const posix::FileDescriptor source(
        open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat status {};
    if (!source.IsOpen() || fstat(source.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    if (replace && !MayReplace(to, status))
        return false;
    std::string temporary;
    return posix::WriteTemporaryCopy(source.Get(), status, posix::ParentOf(to), keepOwner,
                                     temporary) &&
           PlaceTemporary(temporary, to, replace);
}

bool RecreateLink(const std::string& from, const std::string& to) {
    std::string target(PATH_MAX, '\0');
    ssize_t length = readlink(from.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size())
        return false;
    target.resize(static_cast<size_t>(length));
    return symlink(target.c_str(), to.c_str()) == 0;
}

// Another file system: files and links are copied, and the source goes only once the copy is
// complete; if it cannot go, the copy is taken back, so the move fails as a whole.
bool MoveAcross(const std::string& from, const std::string& to, const struct stat& status) {
    struct stat existing {};
    if (lstat(to.c_str(), &existing) == 0)
        return false;
    bool copied = false;
    if (S_ISREG(status.st_mode))
        copied = CopyRegularFile(from, to, false, true);
    if (S_ISLNK(status.st_mode))
        copied = RecreateLink(from, to);
    if (!copied)
        return false;
    if (unlink(from.c_str()) == 0)
        return true;
    unlink(to.c_str());
    return false;
}

}  // namespace

bool CopyFileTo(const std::string& from, const std::string& to) {
    std::string source;
    std::string destination;
    return posix::ToFilePath(from, source) && posix::ToFilePath(to, destination) &&
           posix::IsCreatableName(destination) && CopyRegularFile(source, destination, true, false);
}

bool MoveEntry(const std::string& from, const std::string& to) {
    std::string source;
    std::string destination;
    struct stat status {};
    if (!posix::ToFilePath(from, source) || !posix::ToFilePath(to, destination) ||
        !posix::IsCreatableName(destination) || lstat(source.c_str(), &status) != 0)
        return false;
    if (source == destination)
        return true;  // Windows accepts a move onto the same name
    if (RenameWithoutReplacing(source, destination))
        return true;
    return errno == EXDEV && MoveAcross(source, destination, status);
}

// A link to a directory is a directory entry on Windows: RemoveEmptyDirectory takes it.
bool DeleteFileEntry(const std::string& path) {
    std::string native;
    std::string entry;
    struct stat status {};
    if (!posix::ToFilePath(path, native) || !posix::LookUpEntry(native, entry, status))
        return false;
    if (posix::IsDirectoryEntry(entry, status) || posix::IsReadOnly(status))
        return false;
    return unlink(entry.c_str()) == 0;
}

bool MakeDirectory(const std::string& path) {
    std::string native;
    return posix::ToFilePath(path, native) && posix::IsCreatableName(native) &&
           mkdir(native.c_str(), 0777) == 0;
}

// A link to a directory goes as the link, whatever lies behind it, as Windows removes its
// directory links.
bool RemoveEmptyDirectory(const std::string& path) {
    std::string native;
    std::string entry;
    struct stat status {};
    if (!posix::ToFilePath(path, native) || !posix::LookUpEntry(native, entry, status))
        return false;
    if (S_ISLNK(status.st_mode))
        return posix::IsDirectoryEntry(entry, status) && unlink(entry.c_str()) == 0;
    if (!S_ISDIR(status.st_mode) || posix::IsReadOnly(status))
        return false;
    return rmdir(entry.c_str()) == 0;
}

}  // namespace updater::platform
