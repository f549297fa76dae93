#include "engine/updater.h"

#include <new>

#include "engine/check_mode.h"
#include "engine/procedure_table.h"
#include "engine/run_journal.h"
#include "engine/startup.h"
#include "platform/system.h"
#include "settings/error_box.h"
#include "settings/progress_reports.h"
#include "settings/run_log.h"
#include "settings/unattended.h"

namespace updater {
namespace {

RunResult ResultOf(bool ranToEnd) {
    if (ranToEnd)
        return RunResult::kDone;
    return ErrorWasShown() ? RunResult::kError : RunResult::kAborted;
}

// Nobody sees an unattended run's boxes, so its exit code tells the outcome; an attended run has
// already shown it.
int ExitCodeFor(RunResult result) {
    if (!IsUnattended())
        return 0;
    switch (result) {
        case RunResult::kDone:
            return 0;
        case RunResult::kError:
            return 1;
        case RunResult::kAborted:
            return 2;
    }
    return 0;
}

// The standard library's containers report exhausted memory by exception; the run then stops as on
// any other allocation failure.
bool StartAndRun(const std::string& commandLine) {
    try {
        return StartUp(commandLine.c_str()) && BeginRunJournal() && RunScript();
    } catch (const std::bad_alloc&) {
        ShowError(kMsgOutOfMemory, "Updater");
        return false;
    }
}

}  // namespace

int RunUpdater(const std::string& commandLine) {
    StartUnattendedMode();
    StartRunLog();
    ForgetShownErrors();
    if (CheckRequested())
        return CheckUpdater(commandLine);
    platform::StartComponentModel();
    const bool ranToEnd = StartAndRun(commandLine);
    StopProgressReports();
    // The outcome is the run's: a box about its undo does not turn an abort into an error. A run
    // that could not be ended for good is an error.
    RunResult result = ResultOf(ranToEnd);
    if (!EndRunJournal(ranToEnd))
        result = RunResult::kError;
    FreeAllLists();
    platform::StopComponentModel();
    LogEnd(result);
    return ExitCodeFor(result);
}

}  // namespace updater
