#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "platform/file_system.h"
#include "platform/posix/file_attributes-posix.h"
#include "platform/posix/file_copy-posix.h"
#include "platform/posix/file_path-posix.h"
#include "platform/posix/internal-posix.h"

// File and directory changes with the refusals of Windows: read-only and hidden destinations
// are not overwritten, read-only files and directories are not removed, moves never replace.
namespace updater::platform {
namespace {

bool IsSameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Only a regular file, or a link as the link, is ever replaced: a device, a pipe or a socket
// would be swapped for a plain file, and a directory cannot be.
bool IsReplaceable(const struct stat& status) {
    return S_ISREG(status.st_mode) || S_ISLNK(status.st_mode);
}

// What Windows will not copy over: the source itself, a read-only or hidden file; and what is
// not a file at all.
bool MayReplace(const std::string& native, const struct stat& source) {
    struct stat status {};
    if (lstat(native.c_str(), &status) != 0)
        return errno == ENOENT;
    if (!IsReplaceable(status) || IsSameFile(status, source) || posix::IsReadOnly(status))
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

// O_NONBLOCK keeps a FIFO from blocking the open; it is refused as no regular file right after.
int OpenSource(const std::string& from, bool throughLinks) {
    const int noFollow = throughLinks ? 0 : O_NOFOLLOW;
    return open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | noFollow);
}

bool CopyOpenFile(const posix::FileDescriptor& source, const std::string& to, bool replace,
                  bool keepOwner) {
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

bool CopyRegularFile(const std::string& from, const std::string& to, bool replace, bool keepOwner) {
    return CopyOpenFile(posix::FileDescriptor(OpenSource(from, true)), to, replace, keepOwner);
}

bool ReadLinkText(const std::string& link, std::string& target) {
    target.assign(PATH_MAX, '\0');
    const ssize_t length = readlink(link.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size())
        return false;
    target.resize(static_cast<size_t>(length));
    return true;
}

// A new link with the same target text under a temporary name in `directory`.
bool WriteTemporaryLink(const std::string& from, const std::string& directory,
                        std::string& temporary) {
    std::string target;
    return ReadLinkText(from, target) && posix::MakeTemporaryEntry(
                                             directory,
                                             [&target](const std::string& name) {
                                                 return symlink(target.c_str(), name.c_str()) == 0;
                                             },
                                             temporary);
}

// The link itself is copied, as `cp -a` copies it: what it leads to is never read.
bool CopyLink(const std::string& from, const std::string& to) {
    struct stat status {};
    std::string temporary;
    return lstat(from.c_str(), &status) == 0 && S_ISLNK(status.st_mode) && MayReplace(to, status) &&
           WriteTemporaryLink(from, posix::ParentOf(to), temporary) &&
           PlaceTemporary(temporary, to, true);
}

// A complete twin of a file or a link beside `to`, ready to be renamed into place.
bool WriteTemporaryTwin(const std::string& from, const struct stat& status, const std::string& to,
                        std::string& temporary) {
    const std::string directory = posix::ParentOf(to);
    if (S_ISLNK(status.st_mode))
        return WriteTemporaryLink(from, directory, temporary);
    const posix::FileDescriptor source(OpenSource(from, false));
    struct stat opened {};
    return source.IsOpen() && fstat(source.Get(), &opened) == 0 && IsSameFile(opened, status) &&
           S_ISREG(opened.st_mode) &&
           posix::WriteTemporaryCopy(source.Get(), opened, directory, true, temporary);
}

// Another file system: files and links are copied, and the source goes only once the copy is
// complete; if it cannot go, the copy is taken back, so the move fails as a whole.
bool MoveAcross(const std::string& from, const std::string& to, const struct stat& status) {
    struct stat existing {};
    std::string temporary;
    if (lstat(to.c_str(), &existing) == 0 || !WriteTemporaryTwin(from, status, to, temporary) ||
        !PlaceTemporary(temporary, to, false))
        return false;
    if (unlink(from.c_str()) == 0)
        return true;
    unlink(to.c_str());
    return false;
}

// The old file keeps a second name until the source is gone, so that a failure can put it back:
// a hard link where the file system has them, else the old file renamed aside for the moment.
bool KeepAside(const std::string& file, std::string& kept) {
    const std::string directory = posix::ParentOf(file);
    const auto linkTo = [&file](const std::string& name) {
        return link(file.c_str(), name.c_str()) == 0;
    };
    const auto renameTo = [&file](const std::string& name) {
        return RenameWithoutReplacing(file, name);
    };
    return posix::MakeTemporaryEntry(directory, linkTo, kept) ||
           posix::MakeTemporaryEntry(directory, renameTo, kept);
}

// Gives the kept file its name again. A hard link of a file that is still in place only goes:
// rename() would leave both names when they lead to one file.
void PutBack(const std::string& kept, const std::string& file) {
    struct stat keptStatus {};
    struct stat fileStatus {};
    if (lstat(kept.c_str(), &keptStatus) == 0 && lstat(file.c_str(), &fileStatus) == 0 &&
        IsSameFile(keptStatus, fileStatus)) {
        unlink(kept.c_str());
        return;
    }
    rename(kept.c_str(), file.c_str());
}

// Another file system: a complete twin is made beside the old file and renamed over it; only
// then does the source go. If it cannot go, the old file is put back.
bool ReplaceAcross(const std::string& from, const std::string& to, const struct stat& status) {
    std::string temporary;
    std::string kept;
    if (!WriteTemporaryTwin(from, status, to, temporary))
        return false;
    if (!KeepAside(to, kept)) {
        unlink(temporary.c_str());
        return false;
    }
    if (rename(temporary.c_str(), to.c_str()) == 0 && unlink(from.c_str()) == 0) {
        unlink(kept.c_str());
        return true;
    }
    PutBack(kept, to);
    unlink(temporary.c_str());
    return false;
}

// A move replaces what a copy may replace, hidden files included (Windows removes them to make
// room), but never the moved file itself under another name.
bool MayMoveOver(const struct stat& existing, const std::string& to, const struct stat& source) {
    struct stat reached {};
    const bool leadsToSource = stat(to.c_str(), &reached) == 0 && IsSameFile(reached, source);
    return IsReplaceable(existing) && !posix::IsReadOnly(existing) &&
           !IsSameFile(existing, source) && !leadsToSource;
}

}  // namespace

bool CopyFileTo(const std::string& from, const std::string& to) {
    std::string source;
    std::string destination;
    return posix::ToFilePath(from, source) && posix::ToFilePath(to, destination) &&
           posix::IsCreatableName(destination) && CopyRegularFile(source, destination, true, false);
}

// Opening without following tells a link (ELOOP) from a file in the same call that opens the file.
bool CopyEntryTo(const std::string& from, const std::string& to) {
    std::string source;
    std::string destination;
    if (!posix::ToFilePath(from, source) || !posix::ToFilePath(to, destination) ||
        !posix::IsCreatableName(destination))
        return false;
    posix::FileDescriptor file(OpenSource(source, false));
    if (!file.IsOpen())
        return errno == ELOOP && CopyLink(source, destination);
    return CopyOpenFile(file, destination, true, false);
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

bool MoveFileOver(const std::string& from, const std::string& to) {
    std::string source;
    std::string destination;
    struct stat status {};
    struct stat existing {};
    if (!posix::ToFilePath(from, source) || !posix::ToFilePath(to, destination) ||
        !posix::IsCreatableName(destination) || lstat(source.c_str(), &status) != 0 ||
        S_ISDIR(status.st_mode))
        return false;
    if (lstat(destination.c_str(), &existing) != 0)
        return errno == ENOENT && MoveEntry(from, to);
    if (!MayMoveOver(existing, destination, status))
        return false;
    if (rename(source.c_str(), destination.c_str()) == 0)
        return true;
    return errno == EXDEV && ReplaceAcross(source, destination, status);
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
