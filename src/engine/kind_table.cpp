#include "engine/kind_table.h"

#include "checks/check_kinds.h"
#include "engine/switch_kind.h"
#include "fileops/file_kinds.h"

namespace updater {
namespace {

// In the order in which MODE words are tried. The keys serve the check, which must read what
// the loaders read.
const ProcedureKind kKinds[] = {
    {"EXIST", LoadExist, ExecuteExist, "FILE", "FILE"},
    {"DATE", LoadDate, ExecuteDate, "FILE,DATE", "FILE"},
    {"SWITCH", LoadSwitch, ExecuteSwitch, "PROC,0,1", nullptr},
    {"MSGBOX", LoadMsgBox, ExecuteMsgBox, "FLAG,TYPE,TEXT,ISABORT", nullptr},
    {"COPY", LoadCopy, ExecuteCopy, "FROM,TO", "FROM"},
    {"LAUNCH", LoadLaunch, ExecuteLaunch, "FILE,PARAM,ISWAIT", "FILE"},
    {"DELETE", LoadDelete, ExecuteDelete, "FILE", "FILE"},
    {"LINK", LoadLink, ExecuteLink, "SRC,PARAM,SHOWCMD,DST", "SRC"},
    {"OSVER", LoadOsVer, ExecuteOsVer, "", nullptr},
    {"MAKEDIR", LoadMakeDir, ExecuteMakeDir, "DIR", "DIR"},
    {"ATTR", LoadAttr, ExecuteAttr, "FILE,ARG", "FILE"},
    {"CRC", LoadCrc, ExecuteCrc, "FILE,TYPE,CRC", "FILE"},
    {"MOVE", LoadMove, ExecuteMove, "FROM,TO", "FROM"},
    {"WAITAPP", LoadWaitApp, ExecuteWaitApp, "APP,TICK", "APP"},
    {"APPEXIST", LoadAppExist, ExecuteAppExist, "APP", "APP"},
    {"VERIFY", LoadVerify, ExecuteVerify, "ARG1,ARG2", nullptr},
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
