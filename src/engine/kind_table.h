#pragma once

#include "core/string.h"
#include "engine/procedure.h"

namespace updater {

struct ProcedureKind {
    const char* mode;  // the MODE word
    ProcedureLoader load;
    ProcedureExecutor execute;
};

// The kind whose word equals `mode` without regard to case, first in table order; null when none.
const ProcedureKind* FindKind(const String& mode);

}  // namespace updater
