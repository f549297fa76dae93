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
constexpr uint32_t kAttributeReparsePoint = 0x400;

// The bits kept in the extended attribute.
uint32_t StoredAttributeMask();
// The stored bits of a path, or the default of its kind when none are stored.
uint32_t ReadStoredAttributes(const std::string& native, const struct stat& status);
// The whole attribute value of an entry, as Windows reports it (0x80 when no bit is set).
uint32_t AttributesOf(const std::string& native, const struct stat& status);
// Carries the stored bits of one open file to another; false only on a real write failure.
bool CopyStoredAttributes(int fromFd, int toFd);

}  // namespace updater::platform::posix
