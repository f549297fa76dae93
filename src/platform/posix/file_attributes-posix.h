#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

// Windows attribute bits on Linux. Directory and read-only come from the file's type and mode
// (read-only: the owner's write permission is clear). The bits Linux has no place for (hidden,
// system, archive, temporary, offline, not-indexed) are kept in an extended attribute where the
// file system supports one; without it they read as a new file's (archive alone) and setting them
// is ignored. A name's leading dot does not make it hidden: Windows refuses to overwrite hidden
// files, and every dot-file would then be locked against copies.
namespace updater::platform::posix {

constexpr const char* kStoredAttributesName = "user.updater.attributes";

// The bits kept in the extended attribute.
uint32_t StoredAttributeMask();
// The stored bits of a path, or the default of its kind when none are stored.
uint32_t ReadStoredAttributes(const std::string& native, const struct stat& status);
// The whole attribute value of an entry of the given status, as Windows reports it (0x80 when no
// bit is set). A link's own status gives the link alone.
uint32_t AttributesOf(const std::string& native, const struct stat& status);
// The attribute value of an entry found with lstat(): a symbolic link reports what it leads to,
// marked as a reparse point as Windows marks its links; a dangling one reports the link alone.
uint32_t EntryAttributes(const std::string& native, const struct stat& status);
// Read-only as Windows sees it: the owner may not write. A link has no permissions of its own.
bool IsReadOnly(const struct stat& status);
// Finds the entry that a native path names, as Windows names it: trailing slashes name the entry
// itself (a link, not what it leads to), and only a directory or a link to one may be written
// with them. `entry` is the path without them; `status` is the entry's own (lstat).
bool LookUpEntry(const std::string& native, std::string& entry, struct stat& status);
// True for a directory, or a link that leads to one, given the entry's own status.
bool IsDirectoryEntry(const std::string& entry, const struct stat& status);
// Carries the stored bits of one open file to another; false only on a real write failure.
bool CopyStoredAttributes(int fromFd, int toFd);

}  // namespace updater::platform::posix
