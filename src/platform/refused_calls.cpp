#include <functional>

#include "platform/file_changes.h"
#include "platform/file_system.h"

// Every file change goes through here, so that the last refused one is noted the same way on
// both platforms.
namespace updater::platform {
namespace {

thread_local RefusedCall g_lastFailure;

// The source is named only when it cannot be reached. The error number is kept as the change
// left it for any caller that reads it.
bool Noted(const std::string& from, const std::string& to, const std::function<bool()>& attempt) {
    backend::SetErrorNumber(0);
    if (attempt())
        return true;
    const int error = backend::ErrorNumber();
    const int code = error != 0 ? error : backend::AccessDeniedNumber();
    const bool sourceMissing = from != to && GetEntryAttributes(from) == kInvalidAttributes;
    g_lastFailure = RefusedCall{sourceMissing ? from : to, code};
    backend::SetErrorNumber(error);
    return false;
}

}  // namespace

const RefusedCall& LastFailure() {
    return g_lastFailure;
}

void ClearLastFailure() {
    g_lastFailure = RefusedCall{};
}

bool SetEntryAttributes(const std::string& path, uint32_t attributes) {
    return Noted(path, path, [&] { return backend::AttemptSetEntryAttributes(path, attributes); });
}

bool CopyFileTo(const std::string& from, const std::string& to) {
    return Noted(from, to, [&] { return backend::AttemptCopyFileTo(from, to); });
}

bool CopyEntryTo(const std::string& from, const std::string& to) {
    return Noted(from, to, [&] { return backend::AttemptCopyEntryTo(from, to); });
}

bool MoveEntry(const std::string& from, const std::string& to) {
    return Noted(from, to, [&] { return backend::AttemptMoveEntry(from, to); });
}

bool MoveFileOver(const std::string& from, const std::string& to) {
    return Noted(from, to, [&] { return backend::AttemptMoveFileOver(from, to); });
}

bool DeleteFileEntry(const std::string& path) {
    return Noted(path, path, [&] { return backend::AttemptDeleteFileEntry(path); });
}

bool MakeDirectory(const std::string& path) {
    return Noted(path, path, [&] { return backend::AttemptMakeDirectory(path); });
}

bool RemoveEmptyDirectory(const std::string& path) {
    return Noted(path, path, [&] { return backend::AttemptRemoveEmptyDirectory(path); });
}

}  // namespace updater::platform
