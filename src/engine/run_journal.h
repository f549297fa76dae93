#pragma once

namespace updater {

// A run asks with ROLLBACK=1 in [UPDATER] to be all or nothing: its file changes are journaled
// and undone when it does not end. Called once the settings are read: locks the journal of the
// settings file, undoes what an interrupted run left in it, and starts recording when asked.
// False stops the run, its error box shown: another run holds the journal, the value is not
// 0 or 1, or the interrupted run could not be undone.
bool BeginRunJournal();
// True once BeginRunJournal has started recording: the run's changes are undone if it stops.
bool RunIsUndoable();
// Reads ROLLBACK: absent, empty or 0 is false, 1 true; anything else shows message 2 and fails.
bool ReadRollbackSetting(bool& rollback);
// After the run: a run that ended drops its journal, one that did not is undone; a change that
// cannot be undone is named in one error box.
void EndRunJournal(bool ranToEnd);

}  // namespace updater
