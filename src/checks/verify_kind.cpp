#include "checks/check_kinds.h"
#include "engine/list_items.h"
#include "engine/record_loader.h"

namespace updater {
namespace {

struct VERIFY_INFO : Procedure {
    String arg1;
    String arg2;
};

}  // namespace

Procedure* LoadVerify(const String& name) {
    return LoadRecord<VERIFY_INFO>(name, "VERIFY_INFO",
                                   {{"ARG1", &VERIFY_INFO::arg1}, {"ARG2", &VERIFY_INFO::arg2}});
}

bool ExecuteVerify(Procedure& procedure) {
    auto& record = static_cast<VERIFY_INFO&>(procedure);
    const int count = record.arg1.CountTokens(",");
    if (count == 0) {
        record.flag = record.arg2.EqualsNoCase(record.arg1);
        return true;
    }
    // Items of ARG2 beyond ARG1's are not looked at; a missing one is empty.
    for (int i = 0; i < count; ++i) {
        if (GetListItem(record.arg1, i).DiffersNoCase(GetListItem(record.arg2, i)))
            return true;
    }
    record.flag = true;
    return true;
}

}  // namespace updater
