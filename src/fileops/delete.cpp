#include "fileops/delete.h"

#include "core/system_queries.h"
#include "engine/list_items.h"
#include "engine/record_loader.h"
#include "fileops/file_kinds.h"
#include "fileops/root_guard.h"
#include "fileops/walker.h"
#include "platform/file_system.h"
#include "settings/error_box.h"

namespace updater {
namespace {

struct DELETE_INFO : Procedure {
    String file;
};

// A link goes as a link; what it leads to was not named. Trailing backslashes name the link too
// when it leads to a directory, and nothing (so nothing to delete) when it leads to a file.
bool DeleteLink(const String& path) {
    String link = WithoutTrailingBackslashes(path);
    if (link.GetLength() != path.GetLength() && !IsDirectory(path.CStr()))
        return true;
    return platform::RemoveEmptyDirectory(link.CStr()) || platform::DeleteFileEntry(link.CStr());
}

}  // namespace

// A directory named with trailing backslashes is still that directory; anything else so written
// names nothing and counts as deleted. A root, or a pattern directly in one, is never deleted.
bool DeletePath(const String& path) {
    if (IsUnsafeItem(path))
        return false;
    if (IsLink(path.CStr()))
        return DeleteLink(path);
    if (IsDirectory(path.CStr())) {
        return WalkFiles(path, DeleteVisitor, true, nullptr) &&
               platform::RemoveEmptyDirectory(path.CStr());
    }
    // A path too long to reach is no missing one: its item fails rather than counts as done.
    if (!PathExists(path.CStr()))
        return !platform::IsBeyondReach(path.CStr());
    return WalkFiles(path, DeleteVisitor, true, nullptr);
}

int DeleteVisitor(const String& path, int kind, void* /*context*/) {
    switch (kind) {
        case VisitFile:
            return platform::DeleteFileEntry(path.CStr());
        case VisitDirEnter:
            return 1;
        case VisitDirLeave:
            return platform::RemoveEmptyDirectory(path.CStr());
        default:
            return 0;
    }
}

Procedure* LoadDelete(const String& name) {
    return LoadRecord<DELETE_INFO>(name, "DELETE_INFO", {{"FILE", &DELETE_INFO::file}});
}

bool ExecuteDelete(Procedure& procedure) {
    DELETE_INFO& record = static_cast<DELETE_INFO&>(procedure);
    return RunListItems(record, record.file, "FILE", [](int, const String& item) {
        if (DeletePath(item))
            return true;
        ShowError(kMsgDeleteFailed, item.CStr());
        return false;
    });
}

}  // namespace updater
