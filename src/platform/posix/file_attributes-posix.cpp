#include "platform/posix/file_attributes-posix.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/file_system.h"
#include "platform/posix/file_path-posix.h"
#include "platform/posix/internal-posix.h"

namespace updater::platform {
namespace posix {
namespace {

constexpr uint32_t kAttributeTemporary = 0x100;
constexpr uint32_t kAttributeOffline = 0x1000;
constexpr uint32_t kAttributeNotIndexed = 0x2000;
constexpr uint32_t kSettableAttributes = kAttributeReadOnly | kAttributeHidden | kAttributeSystem |
                                         kAttributeArchive | kAttributeTemporary |
                                         kAttributeOffline | kAttributeNotIndexed;

uint32_t DefaultStoredAttributes(const struct stat& status) {
    return S_ISDIR(status.st_mode) ? 0 : kAttributeArchive;
}

bool IsUnsupported(int error) {
    return error == ENOTSUP || error == EPERM;
}

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kUsualCreationMask = 022;

// The process's file-creation mask, read without changing it: umask() can only be asked by
// setting it, which every other thread would see for a moment.
mode_t CreationMask() {
    const std::optional<std::string> status = ReadSmallRegularFile("/proc/self/status");
    const std::size_t line = status ? status->find("\nUmask:") : std::string::npos;
    if (line == std::string::npos)
        return kUsualCreationMask;
    return static_cast<mode_t>(std::strtoul(status->c_str() + line + 7, nullptr, 8)) & 0777;
}

// Stored as hexadecimal text, readable with the usual xattr tools.
bool ParseStored(const char* text, uint32_t& bits) {
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 16);
    if (end == text || *end != '\0')
        return false;
    bits = static_cast<uint32_t>(value) & StoredAttributeMask();
    return true;
}

bool WriteStoredAttributes(const std::string& native, const struct stat& status, uint32_t bits) {
    if (bits == DefaultStoredAttributes(status)) {
        if (removexattr(native.c_str(), kStoredAttributesName) == 0)
            return true;
        return errno == ENODATA || IsUnsupported(errno);
    }
    char text[16];
    int length = std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(bits));
    if (setxattr(native.c_str(), kStoredAttributesName, text, static_cast<size_t>(length), 0) == 0)
        return true;
    return IsUnsupported(errno);
}

// Read-only takes every write permission away. Clearing it gives write back to the owner, and
// to the group and others where they may read and a new file would let them write (the
// creation mask): a file made 0664 comes back as 0664, not 0644. A writable entry keeps its mode.
mode_t ModeFor(const struct stat& status, bool readOnly) {
    const mode_t permissions = status.st_mode & 07777;
    if (readOnly)
        return permissions & ~kWriteBits;
    if ((permissions & S_IWUSR) != 0)
        return permissions;
    mode_t restored = S_IWUSR;
    if ((permissions & S_IRGRP) != 0)
        restored |= S_IWGRP;
    if ((permissions & S_IROTH) != 0)
        restored |= S_IWOTH;
    return permissions | S_IWUSR | (restored & ~CreationMask());
}

bool ChangeMode(const std::string& native, const struct stat& status, mode_t mode) {
    if ((status.st_mode & 07777) == mode)
        return true;
    return chmod(native.c_str(), mode) == 0;
}

}  // namespace

uint32_t StoredAttributeMask() {
    return kSettableAttributes & ~kAttributeReadOnly;
}

uint32_t ReadStoredAttributes(const std::string& native, const struct stat& status) {
    uint32_t bits = DefaultStoredAttributes(status);
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
        return bits;
    char text[16];
    ssize_t length = getxattr(native.c_str(), kStoredAttributesName, text, sizeof text - 1);
    if (length <= 0)
        return bits;
    text[length] = '\0';
    ParseStored(text, bits);
    return bits;
}

uint32_t AttributesOf(const std::string& native, const struct stat& status) {
    uint32_t attributes = ReadStoredAttributes(native, status);
    if (S_ISDIR(status.st_mode))
        attributes |= kAttributeDirectory;
    if (S_ISLNK(status.st_mode))
        attributes |= kAttributeReparsePoint;
    if (IsReadOnly(status))
        attributes |= kAttributeReadOnly;
    return attributes == 0 ? kAttributeNormal : attributes;
}

uint32_t EntryAttributes(const std::string& native, const struct stat& status) {
    struct stat target {};
    if (!S_ISLNK(status.st_mode) || stat(native.c_str(), &target) != 0)
        return AttributesOf(native, status);
    return AttributesOf(native, target) | kAttributeReparsePoint;
}

bool IsReadOnly(const struct stat& status) {
    return !S_ISLNK(status.st_mode) && (status.st_mode & S_IWUSR) == 0;
}

bool IsDirectoryEntry(const std::string& entry, const struct stat& status) {
    if (S_ISDIR(status.st_mode))
        return true;
    struct stat target {};
    return S_ISLNK(status.st_mode) && stat(entry.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
}

bool LookUpEntry(const std::string& native, std::string& entry, struct stat& status) {
    entry = WithoutTrailingSlashes(native);
    if (lstat(entry.c_str(), &status) != 0)
        return false;
    if (EndsWithSlash(native) && !IsDirectoryEntry(entry, status)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

bool CopyStoredAttributes(int fromFd, int toFd) {
    char text[16];
    ssize_t length = fgetxattr(fromFd, kStoredAttributesName, text, sizeof text);
    if (length < 0)
        return true;  // nothing stored, or nowhere to store it
    if (fsetxattr(toFd, kStoredAttributesName, text, static_cast<size_t>(length), 0) == 0)
        return true;
    return IsUnsupported(errno);
}

}  // namespace posix

// A link named with a trailing backslash is still the link, as on Windows.
uint32_t GetEntryAttributes(const std::string& path) {
    std::string native;
    std::string entry;
    struct stat status {};
    if (!posix::ToFilePath(path, native) || !posix::LookUpEntry(native, entry, status))
        return kInvalidAttributes;
    return posix::EntryAttributes(entry, status);
}

// 0 and "normal" clear every settable bit; bits that cannot be set are ignored. The stored bits
// are written while the entry is still writable, since Linux guards extended attributes with
// the write permission. A symbolic link has neither permissions nor stored bits of its own on
// Linux, and Windows would change the link's, never its target's: the target is left as it is
// and the call succeeds.
bool SetEntryAttributes(const std::string& path, uint32_t attributes) {
    std::string requested;
    std::string native;
    struct stat status {};
    if (!posix::ToFilePath(path, requested) || !posix::LookUpEntry(requested, native, status))
        return false;
    if (S_ISLNK(status.st_mode))
        return true;
    uint32_t bits = attributes & posix::kSettableAttributes;
    bool readOnly = (bits & kAttributeReadOnly) != 0;
    uint32_t stored = bits & posix::StoredAttributeMask();
    bool storedChanges = posix::ReadStoredAttributes(native, status) != stored;
    if (storedChanges) {
        if (!posix::ChangeMode(native, status, posix::ModeFor(status, false)))
            return false;
        if (!posix::WriteStoredAttributes(native, status, stored))
            return false;
        if (lstat(native.c_str(), &status) != 0 || S_ISLNK(status.st_mode))
            return false;
    }
    return posix::ChangeMode(native, status, posix::ModeFor(status, readOnly));
}

}  // namespace updater::platform
