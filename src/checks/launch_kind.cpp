#include <cstring>

#include "checks/check_kinds.h"
#include "core/system_queries.h"
#include "engine/list_items.h"
#include "engine/record_loader.h"
#include "platform/file_system.h"
#include "platform/processes.h"
#include "platform/progress.h"
#include "settings/error_box.h"

namespace updater {
namespace {

struct LAUNCH_INFO : Procedure {
    String file;
    String param;
    // A value that is no number leaves the reader's output alone: it then reads as 0.
    int isWait = 0;
};

bool NamesExistingFile(const char* path) {
    const uint32_t attributes = platform::GetEntryAttributes(path);
    return attributes != platform::kInvalidAttributes &&
           (attributes & platform::kAttributeDirectory) == 0;
}

}  // namespace

String ProgramCommandLine(const String& program, const String& parameters) {
    const char* text = program.CStr();
    const bool quoted = std::strchr(text, ' ') != nullptr && std::strchr(text, '"') == nullptr &&
                        NamesExistingFile(text);
    String commandLine;
    commandLine.Format(quoted ? "\"%s\" %s" : "%s %s", text, parameters.CStr());
    return commandLine;
}

bool LaunchProgram(const String& program, const String& parameters, bool waitForEnd) {
    String directory;
    if (!GetDirectoryPart(program.CStr(), directory))
        return false;
    const String commandLine = ProgramCommandLine(program, parameters);
    return platform::StartProgram(
        commandLine.CStr(), directory.CStr(),
        waitForEnd ? platform::StartWait::kUntilEnded : platform::StartWait::kUntilReady);
}

Procedure* LoadLaunch(const String& name) {
    LAUNCH_INFO* record = LoadRecord<LAUNCH_INFO>(
        name, "LAUNCH_INFO", {{"FILE", &LAUNCH_INFO::file}, {"PARAM", &LAUNCH_INFO::param}});
    if (record != nullptr && !ReadIntKey(name.CStr(), "ISWAIT", record->isWait)) {
        delete record;
        return nullptr;
    }
    return record;
}

bool ExecuteLaunch(Procedure& procedure) {
    auto& record = static_cast<LAUNCH_INFO&>(procedure);
    const bool waits = record.isWait != 0;
    if (waits)
        platform::BeginProgress(record.name.CStr(), platform::ProgressWork::kWaiting,
                                platform::kNoTotal);
    // Programs started by earlier items keep running; later ones are not started.
    const bool ok = RunListItems(record, record.file, "FILE", [&](int i, const String& program) {
        const String parameters = GetListItem(record.param, i);
        if (waits)
            platform::StartProgressItem(program.CStr(), 1);
        if (LaunchProgram(program, parameters, waits))
            return true;
        ShowError(kMsgLaunchFailed, program.CStr(), parameters.CStr());
        return false;
    });
    if (waits)
        platform::EndProgress(ok);
    return ok;
}

}  // namespace updater
