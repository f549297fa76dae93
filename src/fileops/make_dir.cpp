#include "engine/list_items.h"
#include "engine/record_loader.h"
#include "fileops/file_kinds.h"
#include "fileops/walker.h"
#include "settings/error_box.h"

namespace updater {
namespace {

struct MAKEDIR_INFO : Procedure {
    String dir;
};

}  // namespace

Procedure* LoadMakeDir(const String& name) {
    return LoadRecord<MAKEDIR_INFO>(name, "MAKEDIR_INFO", {{"DIR", &MAKEDIR_INFO::dir}});
}

bool ExecuteMakeDir(Procedure& procedure) {
    MAKEDIR_INFO& record = static_cast<MAKEDIR_INFO&>(procedure);
    return RunListItems(record, record.dir, "DIR", [](int, const String& item) {
        if (CreateDirectoryTree(item))
            return true;
        ShowError(kMsgMakeDirFailed, item.CStr());
        return false;
    });
}

}  // namespace updater
