#pragma once

#include "core/string.h"
#include "engine/procedure.h"

namespace updater {

struct ProcedureKind {
    const char* mode;  // the MODE word
    ProcedureLoader load;
    ProcedureExecutor execute;
    const char* keys;     // the keys the loader reads after MODE, comma-separated, in its order
    const char* listKey;  // the list the executor reports empty with message 4; null when none
};

// The kind whose word equals `mode` without regard to case, first in table order; null when none.
const ProcedureKind* FindKind(const String& mode);

}  // namespace updater
