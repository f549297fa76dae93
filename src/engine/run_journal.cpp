#include "engine/run_journal.h"

#include <string>
#include <vector>

#include "fileops/change_journal.h"
#include "platform/journal_file.h"
#include "settings/error_box.h"
#include "settings/expansion.h"
#include "settings/process_values.h"
#include "settings/profile_reader.h"

namespace updater {
namespace {

ChangeJournal g_journal;

}  // namespace

// Absent, empty or 0 leaves the run as it always was.
bool ReadRollbackSetting(bool& rollback) {
    rollback = false;
    String value;
    if (!ReadProfileText(SettingsPath, "UPDATER", "ROLLBACK", value))
        return true;
    ExpandValue(value);
    value.Trim(" \t", " \t");
    const std::string text = value.CStr();
    if (text.empty() || text == "0")
        return true;
    if (text == "1") {
        rollback = true;
        return true;
    }
    ShowError(kMsgBadFormat, "UPDATER", "ROLLBACK");
    return false;
}

namespace {

void ShowUndoFailure(const std::vector<std::string>& failures, const std::string& journal) {
    ShowError(kMsgUndoFailed, failures.empty() ? journal.c_str() : failures.front().c_str());
}

}  // namespace

bool BeginRunJournal() {
    bool rollback = false;
    if (!ReadRollbackSetting(rollback))
        return false;
    std::string directory;
    if (!platform::GetStateDirectory(directory, rollback)) {
        if (!rollback)
            return true;
        ShowError(kMsgPathFailed, "ROLLBACK");
        return false;
    }
    const std::string journal = ChangeJournal::PathFor(directory, SettingsPath.CStr());
    switch (g_journal.Open(journal, rollback)) {
        case ChangeJournal::Opened::kOpened:
            break;
        case ChangeJournal::Opened::kHeld:
            ShowError(kMsgRunInProgress, SettingsPath.CStr());
            return false;
        case ChangeJournal::Opened::kMissing:
            return true;
        case ChangeJournal::Opened::kFailed:
            if (!rollback)
                return true;
            ShowError(kMsgPathFailed, journal.c_str());
            return false;
    }
    std::vector<std::string> failures;
    if (!g_journal.Recover(failures)) {
        ShowUndoFailure(failures, journal);
        g_journal.Close();
        return false;
    }
    if (rollback)
        g_journal.StartRecording(directory);
    else
        g_journal.Finish();
    return true;
}

bool RunIsUndoable() {
    return g_journal.IsRecording();
}

bool EndRunJournal(bool ranToEnd) {
    if (!g_journal.IsOpen())
        return true;
    if (ranToEnd) {
        switch (g_journal.Finish()) {
            case ChangeJournal::Ended::kEnded:
                return true;
            case ChangeJournal::Ended::kLeft:
                ShowError(kMsgPathFailed, "ROLLBACK");
                return false;
            case ChangeJournal::Ended::kToUndo:
                ShowError(kMsgPathFailed, "ROLLBACK");
                break;
        }
    }
    std::vector<std::string> failures;
    if (!g_journal.Undo(failures))
        ShowUndoFailure(failures, "");
    return !ranToEnd;
}

}  // namespace updater
