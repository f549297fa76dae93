#pragma once

#include "core/string.h"
#include "engine/procedure.h"

namespace updater {

// How deep SWITCH branches may nest; a branch that leads back to its own SWITCH stops here.
constexpr int kMaxBranchDepth = 64;

struct SWITCH_INFO : Procedure {
    String proc;   // the procedure whose outcome decides
    String list0;  // run when that outcome is false
    String list1;  // run when it is true
};

Procedure* LoadSwitch(const String& name);
bool ExecuteSwitch(Procedure& procedure);

}  // namespace updater
