#pragma once

#include "core/string.h"
#include "engine/procedure.h"

namespace updater {

// Loads the first `count` comma-separated names of `names` and pushes the new list on the
// ProcedureTable; null (after a message) when anything fails, with nothing left loaded.
ProcedureList LoadList(const String& names, int count);
// Runs the records in order; false as soon as one executor returns false.
bool RunList(ProcedureList list);
// Loads the list, runs it and frees it. A list that fails while running stays on the table, as the
// lists below it do, until FreeAllLists.
bool LoadAndRunList(const String& names, int count);
// The first record of `list` whose name equals `name` without regard to case; null when none.
Procedure* FindProcedure(ProcedureList list, const String& name);

// The procedure of the current list named `name` (spaces around it ignored); null, after message 6
// showing the setting that named it, when there is none.
Procedure* FindNamedProcedure(String name, const String& setting);

// The ProcedureTable: the process-wide stack of loaded lists; the top one is being run.
ProcedureList CurrentList();
// The number of lists on the table: the nesting depth of the running branch.
int ListCount();
bool PushList(ProcedureList list);
int RemoveList(ProcedureList list);
// Frees the list's records and the list, removes it from the table; returns the lists left.
int FreeList(ProcedureList list);
void FreeAllLists();

}  // namespace updater
