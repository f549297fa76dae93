#include "engine/procedure_table.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/buffer.h"
#include "engine/kind_table.h"
#include "engine/list_items.h"
#include "platform/file_system.h"
#include "platform/progress.h"
#include "settings/error_box.h"
#include "settings/profile_reader.h"
#include "settings/run_log.h"

namespace updater {
namespace {

// The stack of loaded lists, bottom first, as pointer entries of a Buffer. The number of lists is
// the number of entries, so that a Buffer emptied by a failed allocation holds no stale count.
Buffer g_lists;

constexpr unsigned kEntrySize = sizeof(ProcedureList);

int EntryCount() {
    return static_cast<int>(g_lists.size / kEntrySize);
}

ProcedureList EntryAt(int index) {
    ProcedureList list = nullptr;
    std::memcpy(&list, g_lists.GetData() + index * kEntrySize, kEntrySize);
    return list;
}

Procedure* LoadProcedure(const String& name) {
    String mode;
    if (!ReadKey(name.CStr(), "MODE", mode))
        return nullptr;
    const ProcedureKind* kind = FindKind(mode);
    if (kind == nullptr) {
        ShowError(kMsgBadSymbol, mode.CStr());
        return nullptr;
    }
    Procedure* procedure = kind->load(name);
    if (procedure != nullptr)
        procedure->kind = kind;
    return procedure;
}

}  // namespace

ProcedureList LoadList(const String& names, int count) {
    if (count == 0) {
        ShowError(kMsgBadProcedureCount);
        return nullptr;
    }
    ProcedureList list = new (std::nothrow) Procedure*[count + 1];
    if (list == nullptr) {
        ShowError(kMsgOutOfMemory, "ProcList");
        return nullptr;
    }
    std::fill(list, list + count + 1, nullptr);
    String items = names;
    for (int i = 0; i < count; ++i) {
        list[i] = LoadProcedure(GetListItem(items, i));
        if (list[i] == nullptr) {
            FreeList(list);
            return nullptr;
        }
    }
    if (!PushList(list)) {
        ShowError(kMsgOutOfMemory, "ProcListArray");
        FreeList(list);
        return nullptr;
    }
    return list;
}

// A stop asked for from the progress display ends the run before its next procedure, as an
// ISABORT answer would; the procedure it cut short names no refusal, as it was no failure.
bool RunList(ProcedureList list) {
    for (Procedure** record = list; *record != nullptr; ++record) {
        if (platform::StopRequested())
            return false;
        Procedure& procedure = **record;
        platform::ClearLastFailure();  // a refusal counts only for the procedure that met it
        const bool ok = procedure.kind->execute(procedure);
        if (!ok && platform::StopRequested())
            platform::ClearLastFailure();
        LogProcedure(procedure.name.CStr(), procedure.mode.CStr(), ok, procedure.flag);
        if (!ok)
            return false;
    }
    return true;
}

bool LoadAndRunList(const String& names, int count) {
    if (LoadList(names, count) == nullptr)
        return false;
    if (!RunList(CurrentList()))
        return false;
    FreeList(CurrentList());
    return true;
}

Procedure* FindNamedProcedure(String name, const String& setting) {
    name.Trim(" ");
    Procedure* procedure = FindProcedure(CurrentList(), name);
    if (procedure == nullptr)
        ShowError(kMsgBadSymbol, setting.CStr());
    return procedure;
}

Procedure* FindProcedure(ProcedureList list, const String& name) {
    if (list == nullptr)
        return nullptr;
    for (Procedure** record = list; *record != nullptr; ++record) {
        if ((*record)->name.EqualsNoCase(name))
            return *record;
    }
    return nullptr;
}

ProcedureList CurrentList() {
    return EntryCount() == 0 ? nullptr : EntryAt(EntryCount() - 1);
}

int ListCount() {
    return EntryCount();
}

bool PushList(ProcedureList list) {
    if (list == nullptr)
        return false;
    return g_lists.Cat(&list, kEntrySize);
}

int RemoveList(ProcedureList list) {
    for (int k = EntryCount() - 1; k >= 0; --k) {
        if (EntryAt(k) == list) {
            g_lists.Delete(k * kEntrySize, kEntrySize);
            break;
        }
    }
    return EntryCount();
}

int FreeList(ProcedureList list) {
    if (list == nullptr)
        return 0;
    const int left = RemoveList(list);
    for (Procedure** record = list; *record != nullptr; ++record) {
        delete *record;
        *record = nullptr;
    }
    delete[] list;
    return left;
}

void FreeAllLists() {
    while (FreeList(CurrentList()) != 0) {
    }
}

}  // namespace updater
