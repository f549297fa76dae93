#include "fileops/make_dir.h"

#include "engine/list_items.h"
#include "engine/record_loader.h"
#include "fileops/file_kinds.h"
#include "fileops/walker.h"
#include "settings/error_box.h"

namespace updater {

Procedure* LoadMakeDir(const String& name) {
    return LoadRecord<MAKEDIR_INFO>(name, "MAKEDIR_INFO", {{"DIR", &MAKEDIR_INFO::dir}});
}

bool ExecuteMakeDir(Procedure& procedure) {
    MAKEDIR_INFO& record = static_cast<MAKEDIR_INFO&>(procedure);
    const int count = CountListItems(record, record.dir, "DIR");
    if (count == 0)
        return false;
    for (int i = 0; i < count; ++i) {
        String item = GetListItem(record.dir, i);
        if (!CreateDirectoryTree(item)) {
            ShowError(kMsgMakeDirFailed, item.CStr());
            return false;
        }
    }
    record.flag = true;
    return true;
}

}  // namespace updater
