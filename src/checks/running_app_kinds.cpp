#include <vector>

#include "checks/check_kinds.h"
#include "engine/list_items.h"
#include "engine/record_loader.h"
#include "platform/processes.h"
#include "platform/progress.h"

namespace updater {
namespace {

struct WAITAPP_INFO : Procedure {
    String app;
    String tick;
};

}  // namespace

uint32_t FindProcessByPath(const String& path) {
    std::vector<platform::RunningProcess> processes;
    if (!platform::ListProcesses(processes))
        return 0;
    const uint32_t self = platform::CurrentProcessId();
    for (const platform::RunningProcess& process : processes) {
        if (process.id != self && path.EqualsNoCase(process.program.c_str()))
            return process.id;
    }
    return 0;
}

// Both kinds report an allocation failure under the one record name.
Procedure* LoadAppExist(const String& name) {
    return LoadRecord<WAITAPP_INFO>(name, "WAITAPP_INFO", {{"APP", &WAITAPP_INFO::app}});
}

Procedure* LoadWaitApp(const String& name) {
    return LoadRecord<WAITAPP_INFO>(name, "WAITAPP_INFO",
                                    {{"APP", &WAITAPP_INFO::app}, {"TICK", &WAITAPP_INFO::tick}});
}

bool ExecuteAppExist(Procedure& procedure) {
    auto& record = static_cast<WAITAPP_INFO&>(procedure);
    const int count = CountListItems(record, record.app, "APP");
    if (count == 0)
        return false;
    for (int i = 0; i < count; ++i) {
        if (FindProcessByPath(GetListItem(record.app, i)) == 0)
            return true;
    }
    record.flag = true;
    return true;
}

bool ExecuteWaitApp(Procedure& procedure) {
    auto& record = static_cast<WAITAPP_INFO&>(procedure);
    const int count = CountListItems(record, record.app, "APP");
    if (count == 0)
        return false;
    platform::BeginProgress(record.name.CStr(), platform::ProgressWork::kWaiting,
                            platform::kNoTotal);
    for (int i = 0; i < count; ++i) {
        const String app = GetListItem(record.app, i);
        const uint32_t id = FindProcessByPath(app);
        // The number as a time-out of the system's wait: 0 does not wait, -1 has no limit. A
        // missing item reads 0. How the wait ended does not matter.
        const auto timeout = static_cast<uint32_t>(GetListItem(record.tick, i).ToInt());
        if (id != 0) {
            platform::StartProgressItem(app.CStr(), 1);
            platform::WaitForProcess(id, timeout);
        }
        // The wait gives way to a stop of the run: the procedure did not get to its end.
        if (platform::StopRequested()) {
            platform::EndProgress(false);
            return false;
        }
    }
    platform::EndProgress(true);
    record.flag = true;
    return true;
}

}  // namespace updater
