#include "engine/kind_table.h"

#include "checks/check_kinds.h"
#include "engine/switch_kind.h"
#include "fileops/file_kinds.h"

namespace updater {
namespace {

// In the order in which MODE words are tried.
const ProcedureKind kKinds[] = {
    {"EXIST", LoadExist, ExecuteExist},
    {"DATE", LoadDate, ExecuteDate},
    {"SWITCH", LoadSwitch, ExecuteSwitch},
    {"MSGBOX", LoadMsgBox, ExecuteMsgBox},
    {"COPY", LoadCopy, ExecuteCopy},
    {"LAUNCH", LoadLaunch, ExecuteLaunch},
    {"DELETE", LoadDelete, ExecuteDelete},
    {"LINK", LoadLink, ExecuteLink},
    {"OSVER", LoadOsVer, ExecuteOsVer},
    {"MAKEDIR", LoadMakeDir, ExecuteMakeDir},
    {"ATTR", LoadAttr, ExecuteAttr},
    {"CRC", LoadCrc, ExecuteCrc},
    {"MOVE", LoadMove, ExecuteMove},
    {"WAITAPP", LoadWaitApp, ExecuteWaitApp},
    {"APPEXIST", LoadAppExist, ExecuteAppExist},
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
