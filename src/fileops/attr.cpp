#include "fileops/attr.h"

#include "engine/list_items.h"
#include "engine/record_loader.h"
#include "fileops/file_kinds.h"
#include "fileops/root_guard.h"
#include "fileops/walker.h"
#include "platform/file_system.h"
#include "settings/error_box.h"

namespace updater {

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
    const int count = CountListItems(record, record.file, "FILE");
    if (count == 0)
        return false;
    for (int i = 0; i < count; ++i) {
        String file = GetListItem(record.file, i);
        const uint32_t value = static_cast<uint32_t>(GetListItem(record.arg, i).HexToInt());
        if (!SetPathAttributes(file, value)) {
            ShowError(kMsgAttributeFailed, file.CStr(), static_cast<unsigned>(value));
            return false;
        }
    }
    record.flag = true;
    return true;
}

}  // namespace updater
