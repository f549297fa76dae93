#include "engine/switch_kind.h"

#include "engine/procedure_table.h"
#include "engine/record_loader.h"
#include "settings/error_box.h"

namespace updater {
namespace {

struct SWITCH_INFO : Procedure {
    String proc;   // the procedure whose outcome decides
    String list0;  // run when that outcome is false
    String list1;  // run when it is true
};

}  // namespace

Procedure* LoadSwitch(const String& name) {
    return LoadRecord<SWITCH_INFO>(
        name, "DATE_INFO",
        {{"PROC", &SWITCH_INFO::proc}, {"0", &SWITCH_INFO::list0}, {"1", &SWITCH_INFO::list1}});
}

bool ExecuteSwitch(Procedure& procedure) {
    auto& record = static_cast<SWITCH_INFO&>(procedure);
    const Procedure* target = FindNamedProcedure(record.proc, record.proc);
    if (target == nullptr)
        return false;
    String branch = target->flag ? record.list1 : record.list0;
    const int count = branch.CountTokens(",");
    if (count == 0)
        return true;
    // The bound is met only by a branch that leads back to itself, so the message names the SWITCH
    // as the symbol at fault.
    if (ListCount() >= kMaxBranchDepth) {
        ShowError(kMsgBadSymbol, record.name.CStr());
        return false;
    }
    return LoadAndRunList(branch, count);
}

}  // namespace updater
