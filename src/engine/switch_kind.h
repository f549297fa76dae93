#pragma once

#include "core/string.h"
#include "engine/procedure.h"

namespace updater {

// How deep SWITCH branches may nest; a branch that leads back to its own SWITCH stops here.
constexpr int kMaxBranchDepth = 64;

Procedure* LoadSwitch(const String& name);
bool ExecuteSwitch(Procedure& procedure);

}  // namespace updater
