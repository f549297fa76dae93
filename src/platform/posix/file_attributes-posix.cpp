#include "platform/posix/file_attributes-posix.h"

#include <sys/xattr.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/file_system.h"
#include "platform/posix/file_path-posix.h"

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

bool IsReadOnly(const struct stat& status) {
    return (status.st_mode & S_IWUSR) == 0;
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

mode_t ModeFor(const struct stat& status, bool readOnly) {
    mode_t permissions = status.st_mode & 07777;
    if (readOnly)
        return permissions & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    return permissions | S_IWUSR;
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
    if (IsReadOnly(status) && !S_ISLNK(status.st_mode))
        attributes |= kAttributeReadOnly;
    return attributes == 0 ? kAttributeNormal : attributes;
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

// A symbolic link reports what it leads to, marked as a reparse point as Windows marks its links;
// a dangling one reports the link alone.
uint32_t GetEntryAttributes(const std::string& path) {
    std::string native;
    struct stat status {};
    if (!posix::ToFilePath(path, native) || lstat(native.c_str(), &status) != 0)
        return kInvalidAttributes;
    if (!S_ISLNK(status.st_mode))
        return posix::AttributesOf(native, status);
    struct stat target {};
    if (stat(native.c_str(), &target) != 0)
        return posix::AttributesOf(native, status);
    return posix::AttributesOf(native, target) | posix::kAttributeReparsePoint;
}

// 0 and "normal" clear every settable bit; bits that cannot be set are ignored. The stored bits
// are written while the entry is still writable, since Linux guards extended attributes with
// the write permission.
bool SetEntryAttributes(const std::string& path, uint32_t attributes) {
    std::string native;
    struct stat status {};
    if (!posix::ToFilePath(path, native) || stat(native.c_str(), &status) != 0)
        return false;
    uint32_t bits = attributes & posix::kSettableAttributes;
    bool readOnly = (bits & kAttributeReadOnly) != 0;
    uint32_t stored = bits & posix::StoredAttributeMask();
    bool storedChanges = posix::ReadStoredAttributes(native, status) != stored;
    if (storedChanges) {
        if (!posix::ChangeMode(native, status, posix::ModeFor(status, false)))
            return false;
        if (!posix::WriteStoredAttributes(native, status, stored))
            return false;
        if (stat(native.c_str(), &status) != 0)
            return false;
    }
    return posix::ChangeMode(native, status, posix::ModeFor(status, readOnly));
}

}  // namespace updater::platform
