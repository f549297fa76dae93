#include "checks/check_kinds.h"
#include "core/system_queries.h"
#include "engine/record_loader.h"
#include "settings/error_box.h"

namespace updater {
namespace {

struct ExistInfo : Procedure {
    String file;
};

}  // namespace

Procedure* LoadExist(const String& name) {
    return LoadRecord<ExistInfo>(name, "EXIST_INFO", {{"FILE", &ExistInfo::file}});
}

bool ExecuteExist(Procedure& procedure) {
    auto& record = static_cast<ExistInfo&>(procedure);
    const int count = record.file.CountTokens(",");
    if (count == 0) {
        ShowError(kMsgBadItemCount, record.name.CStr(), "FILE");
        return false;
    }
    for (int i = 0; i < count; ++i) {
        String path = record.file.GetToken(i, ",");
        path.Trim(" ");
        if (!PathExists(path.CStr())) return true;
    }
    record.flag = true;
    return true;
}

}  // namespace updater
