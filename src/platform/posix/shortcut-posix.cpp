#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/file_system.h"
#include "platform/posix/file_attributes-posix.h"
#include "platform/posix/file_copy-posix.h"
#include "platform/posix/file_path-posix.h"
#include "platform/posix/internal-posix.h"
#include "platform/posix/shell_link-posix.h"
#include "platform/shortcut.h"

namespace updater::platform {
namespace {

// What the link object may write over: nothing, or a regular file that is neither read-only nor
// hidden, as Windows refuses to recreate those. A link at the name is not written through.
bool MayWriteAt(const std::string& native) {
    struct stat status {};
    if (lstat(native.c_str(), &status) != 0)
        return errno == ENOENT;
    return S_ISREG(status.st_mode) && !posix::IsReadOnly(status) &&
           (posix::ReadStoredAttributes(native, status) & kAttributeHidden) == 0;
}

// A new file under a temporary name beside the shortcut, with the permissions of any new file.
bool WriteTemporary(const std::string& directory, const std::string& bytes,
                    std::string& temporary) {
    int fd = -1;
    if (!posix::MakeTemporaryEntry(
            directory,
            [&fd](const std::string& name) {
                fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
                return fd >= 0;
            },
            temporary))
        return false;
    posix::FileDescriptor file(fd);
    const bool written = posix::WriteAll(file.Get(), bytes.data(), bytes.size());
    // A write error may first show when the file is closed.
    if (file.Close() && written)
        return true;
    unlink(temporary.c_str());
    return false;
}

}  // namespace

// Written beside its name and renamed into place, so that a failed write leaves neither half a
// shortcut nor the temporary file. A name beyond the kernel's limits fails in the rename.
bool WriteShortcut(const std::string& linkFile, const Shortcut& shortcut) {
    std::string native;
    std::string bytes;
    std::string temporary;
    if (!posix::ToFilePath(linkFile, native) || !posix::IsCreatableName(native) ||
        !posix::BuildShellLink(shortcut, bytes) || !MayWriteAt(native) ||
        !WriteTemporary(posix::ParentOf(native), bytes, temporary))
        return false;
    if (std::rename(temporary.c_str(), native.c_str()) == 0)
        return true;
    unlink(temporary.c_str());
    return false;
}

}  // namespace updater::platform
