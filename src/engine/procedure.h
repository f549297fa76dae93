#pragma once

#include "core/string.h"

namespace updater {

struct ProcedureKind;

// The head of every loaded procedure record; each kind derives its own record and adds its fields.
// A record owns its texts and lives from its list's load until the list is freed.
struct Procedure {
    String name;        // the name as it stood in the list, spaces trimmed; also the section name
    String mode;        // the MODE value as read (expanded)
    bool flag = false;  // the outcome later procedures test; false when loaded
    // The kind that loaded the record and runs it: fixed at load, so that a record and its
    // executor always belong together, whatever MODE would read later.
    const ProcedureKind* kind = nullptr;

    virtual ~Procedure() = default;
};

// A loaded procedure list: record pointers in list order, ended by a null entry.
using ProcedureList = Procedure**;

// A kind's loader builds its record from the section `name` (reporting its own failures) or
// returns null; its executor carries the record out and returns false to stop the run.
using ProcedureLoader = Procedure* (*)(const String& name);
using ProcedureExecutor = bool (*)(Procedure& procedure);

}  // namespace updater
