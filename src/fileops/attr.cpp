#include "fileops/attr.h"

#include "engine/list_items.h"
#include "engine/record_loader.h"
#include "fileops/file_kinds.h"
#include "fileops/root_guard.h"
#include "fileops/walker.h"
#include "platform/file_system.h"
#include "settings/error_box.h"

namespace updater {
namespace {

struct ATTR_INFO : Procedure {
    String file;
    String arg;
};

}  // namespace

// A directory named with trailing backslashes is that directory (and so left as it is); on
// anything else the backslash makes a path that names nothing. A pattern directly in a root is
// refused like a DELETE of it.
bool SetPathAttributes(const String& path, uint32_t value) {
    if (IsUnsafeItem(path))
        return false;
    String target = IsDirectory(path.CStr()) ? WithoutTrailingBackslashes(path) : path;
    return WalkFiles(target, AttributeVisitor, false, &value);
}

int AttributeVisitor(const String& path, int kind, void* context) {
    switch (kind) {
        case VisitFile:
            return platform::SetEntryAttributes(path.CStr(), *static_cast<uint32_t*>(context));
        case VisitDirEnter:
        case VisitDirLeave:
            return 1;
        default:
            return 0;
    }
}

Procedure* LoadAttr(const String& name) {
    return LoadRecord<ATTR_INFO>(name, "ATTR_INFO",
                                 {{"FILE", &ATTR_INFO::file}, {"ARG", &ATTR_INFO::arg}});
}

bool ExecuteAttr(Procedure& procedure) {
    ATTR_INFO& record = static_cast<ATTR_INFO&>(procedure);
    return RunListItems(record, record.file, "FILE", [&record](int i, const String& file) {
        const uint32_t value = static_cast<uint32_t>(GetListItem(record.arg, i).HexToInt());
        if (SetPathAttributes(file, value))
            return true;
        ShowError(kMsgAttributeFailed, file.CStr(), static_cast<unsigned>(value));
        return false;
    });
}

}  // namespace updater
