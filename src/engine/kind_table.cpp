#include "engine/kind_table.h"

#include "checks/check_kinds.h"
#include "engine/switch_kind.h"
#include "fileops/file_kinds.h"

namespace updater {
namespace {

// In the order in which MODE words are tried. Kinds not built into this program are absent, so
// their MODE is reported like any unknown word.
const ProcedureKind kKinds[] = {
    {"EXIST", LoadExist, ExecuteExist},
    {"DATE", LoadDate, ExecuteDate},
    {"SWITCH", LoadSwitch, ExecuteSwitch},
    {"MSGBOX", LoadMsgBox, ExecuteMsgBox},
    {"COPY", LoadCopy, ExecuteCopy},
    {"DELETE", LoadDelete, ExecuteDelete},
    {"LINK", LoadLink, ExecuteLink},
    {"OSVER", LoadOsVer, ExecuteOsVer},
    {"MAKEDIR", LoadMakeDir, ExecuteMakeDir},
    {"ATTR", LoadAttr, ExecuteAttr},
    {"CRC", LoadCrc, ExecuteCrc},
    {"MOVE", LoadMove, ExecuteMove},
    {"VERIFY", LoadVerify, ExecuteVerify},
};

}  // namespace

const ProcedureKind* FindKind(const String& mode) {
    for (const ProcedureKind& kind : kKinds) {
        if (mode.EqualsNoCase(kind.mode))
            return &kind;
    }
    return nullptr;
}

}  // namespace updater
