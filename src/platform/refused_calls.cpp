#include <functional>

#include "platform/file_changes.h"
#include "platform/file_system.h"
#include "platform/progress.h"

// Every file change goes through here, so that the last refused one is noted the same way on
// both platforms, and a guard sees each one first.
namespace updater::platform {
namespace {

thread_local RefusedCall g_lastFailure;
ChangeGuard* g_guard = nullptr;

// The source is named only when it cannot be reached. The error number is kept as the change
// left it for any caller that reads it.
void NoteFailure(const std::string& from, const std::string& to) {
    const int error = backend::ErrorNumber();
    const int code = error != 0 ? error : backend::AccessDeniedNumber();
    const bool sourceMissing = from != to && GetEntryAttributes(from) == kInvalidAttributes;
    g_lastFailure = RefusedCall{sourceMissing ? from : to, code};
    backend::SetErrorNumber(error);
}

bool Noted(ChangeKind kind, const std::string& from, const std::string& to,
           const std::function<bool()>& attempt) {
    backend::SetErrorNumber(0);
    if (g_guard != nullptr) {
        const ChangeGuard::Verdict verdict = g_guard->Before(kind, from, to);
        if (verdict == ChangeGuard::Verdict::kPlanned)
            return true;
        if (verdict == ChangeGuard::Verdict::kRefuse) {
            NoteFailure(from, to);
            return false;
        }
    }
    const bool made = attempt();
    if (g_guard != nullptr) {
        const int error = backend::ErrorNumber();
        g_guard->After(kind, from, to, made);
        backend::SetErrorNumber(error);
    }
    if (made)
        return true;
    NoteFailure(from, to);
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
    return Noted(ChangeKind::kAttributes, path, path,
                 [&] { return backend::AttemptSetEntryAttributes(path, attributes); });
}

bool CopyFileTo(const std::string& from, const std::string& to) {
    return Noted(ChangeKind::kCopy, from, to, [&] { return backend::AttemptCopyFileTo(from, to); });
}

bool CopyEntryTo(const std::string& from, const std::string& to) {
    return Noted(ChangeKind::kCopy, from, to,
                 [&] { return backend::AttemptCopyEntryTo(from, to); });
}

bool MoveEntry(const std::string& from, const std::string& to) {
    return Noted(ChangeKind::kMove, from, to, [&] { return backend::AttemptMoveEntry(from, to); });
}

bool MoveFileOver(const std::string& from, const std::string& to) {
    return Noted(ChangeKind::kMoveOver, from, to,
                 [&] { return backend::AttemptMoveFileOver(from, to); });
}

bool DeleteFileEntry(const std::string& path) {
    return Noted(ChangeKind::kDelete, path, path,
                 [&] { return backend::AttemptDeleteFileEntry(path); });
}

bool MakeDirectory(const std::string& path) {
    return Noted(ChangeKind::kMakeDirectory, path, path,
                 [&] { return backend::AttemptMakeDirectory(path); });
}

bool RemoveEmptyDirectory(const std::string& path) {
    return Noted(ChangeKind::kRemoveDirectory, path, path,
                 [&] { return backend::AttemptRemoveEmptyDirectory(path); });
}

void SetChangeGuard(ChangeGuard* guard) {
    g_guard = guard;
}

bool ChangesAreGuarded() {
    return g_guard != nullptr;
}

bool PlanChanges(const std::function<void()>& changes) {
    if (g_guard == nullptr)
        return false;
    g_guard->StartPlanning();
    HoldProgress(true);
    changes();
    HoldProgress(false);
    g_guard->StopPlanning();
    return true;
}

// Its refusals were never noted, and are not now.
bool WriteGuarded(const std::string& path, const std::function<bool()>& write) {
    if (g_guard == nullptr)
        return write();
    const ChangeGuard::Verdict verdict = g_guard->Before(ChangeKind::kWriteFile, path, path);
    if (verdict != ChangeGuard::Verdict::kGo)
        return verdict == ChangeGuard::Verdict::kPlanned;
    const bool made = write();
    g_guard->After(ChangeKind::kWriteFile, path, path, made);
    return made;
}

}  // namespace updater::platform
