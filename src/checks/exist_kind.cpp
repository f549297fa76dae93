#include "checks/check_kinds.h"
#include "core/system_queries.h"
#include "engine/list_items.h"
#include "engine/record_loader.h"

namespace updater {
namespace {

struct EXIST_INFO : Procedure {
    String file;
};

}  // namespace

Procedure* LoadExist(const String& name) {
    return LoadRecord<EXIST_INFO>(name, "EXIST_INFO", {{"FILE", &EXIST_INFO::file}});
}

bool ExecuteExist(Procedure& procedure) {
    auto& record = static_cast<EXIST_INFO&>(procedure);
    const int count = CountListItems(record, record.file, "FILE");
    if (count == 0)
        return false;
    for (int i = 0; i < count; ++i) {
        const String path = GetListItem(record.file, i);
        if (!PathExists(path.CStr()))
            return true;
    }
    record.flag = true;
    return true;
}

}  // namespace updater
