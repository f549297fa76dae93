#include "engine/procedure_table.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/buffer.h"
#include "engine/kind_table.h"
#include "settings/error_box.h"
#include "settings/profile_reader.h"
#include "settings/run_log.h"

namespace updater {
namespace {

// The stack of loaded lists, bottom first, as pointer entries of a Buffer.
struct ProcedureTable {
    Buffer lists;
    int count = 0;
};
ProcedureTable g_table;

constexpr unsigned kEntrySize = sizeof(ProcedureList);

ProcedureList EntryAt(int index) {
    ProcedureList list = nullptr;
    std::memcpy(&list, g_table.lists.GetData() + index * kEntrySize, kEntrySize);
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
    return kind->load(name);
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
        String name = items.GetToken(i, ",");
        name.Trim(" ");
        list[i] = LoadProcedure(name);
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

bool RunList(ProcedureList list) {
    for (Procedure** record = list; *record != nullptr; ++record) {
        Procedure& procedure = **record;
        const ProcedureKind* kind = FindKind(procedure.mode);
        if (kind == nullptr) {
            ShowError(kMsgBadSymbol, procedure.mode.CStr());
            return false;
        }
        const bool ok = kind->execute(procedure);
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
    return g_table.count == 0 ? nullptr : EntryAt(g_table.count - 1);
}

int ListCount() {
    return g_table.count;
}

bool PushList(ProcedureList list) {
    if (list == nullptr)
        return false;
    if (!g_table.lists.Cat(&list, kEntrySize))
        return false;
    ++g_table.count;
    return true;
}

int RemoveList(ProcedureList list) {
    for (int k = g_table.count - 1; k >= 0; --k) {
        if (EntryAt(k) == list) {
            --g_table.count;
            g_table.lists.Delete(k * kEntrySize, kEntrySize);
            break;
        }
    }
    return g_table.count;
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
