#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What each backend supplies for the file changes of file_system.h: the change as the system
// makes it, and the thread's error number that tells why it was refused. refused_calls.cpp wraps
// every change once for both backends, so that a refusal is noted in one place.
namespace updater::platform::backend {

bool AttemptSetEntryAttributes(const std::string& path, uint32_t attributes);
bool AttemptCopyFileTo(const std::string& from, const std::string& to);
bool AttemptCopyEntryTo(const std::string& from, const std::string& to);
bool AttemptMoveEntry(const std::string& from, const std::string& to);
bool AttemptMoveFileOver(const std::string& from, const std::string& to);
bool AttemptDeleteFileEntry(const std::string& path);
bool AttemptMakeDirectory(const std::string& path);
bool AttemptRemoveEmptyDirectory(const std::string& path);

// The name of a temporary entry that a backend makes beside a destination while it copies or
// moves there: "<mark>~updater-<process id>-<serial in hexadecimal>.tmp". No script names it, and
// the process id tells a later run whether the maker may still be using it. The mark is the
// backend's: a dot on Linux, where it hides the file; none on Windows, which hides it by its
// attribute (and where Wine would keep the hidden bit of a dot-file past its renaming).
// temporary_names.cpp writes and reads these names for both backends.
std::string TemporaryEntryName(std::string_view mark, uint32_t processId, uint64_t serial);
// The process id in a name exactly as TemporaryEntryName writes it with `mark`; false for any
// other name, however alike (other letters, a leading zero, a number too long, another extension).
bool ParseTemporaryEntryName(std::string_view name, std::string_view mark, uint32_t& processId);

// The thread's error number (errno, GetLastError): read and set, 0 meaning none.
int ErrorNumber();
void SetErrorNumber(int code);
// The number of a refusal the backend decides itself, as Windows would: access denied.
int AccessDeniedNumber();

}  // namespace updater::platform::backend
