#include "checks/check_kinds.h"
#include "core/system_queries.h"
#include "engine/record_loader.h"

namespace updater {
namespace {

struct OSVER_INFO : Procedure {};

}  // namespace

Procedure* LoadOsVer(const String& name) {
    return LoadRecord<OSVER_INFO>(name, "OSVER_INFO", {});
}

bool ExecuteOsVer(Procedure& procedure) {
    procedure.flag = IsNtPlatform();
    return true;
}

}  // namespace updater
