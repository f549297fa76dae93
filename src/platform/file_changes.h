#pragma once

#include <cstdint>
#include <string>

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

// The thread's error number (errno, GetLastError): read and set, 0 meaning none.
int ErrorNumber();
void SetErrorNumber(int code);
// The number of a refusal the backend decides itself, as Windows would: access denied.
int AccessDeniedNumber();

}  // namespace updater::platform::backend
