#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/journal_file.h"

namespace updater {

// The journal of a run that is all or nothing. Each file change is written to it, and made
// durable, before the change is made; what the change replaces or removes is kept under a second
// name on the same file system, never copied. A run that does not finish is undone from it, newest
// change first, in this process or, after a crash, in the next one.
//
// One record per line: a checksum, a letter, and tab-separated fields, so that a record torn by
// a crash is known and ignored (write-ahead: its change was never made).
class ChangeJournal : public platform::ChangeGuard {
  public:
    enum class Opened { kOpened, kMissing, kHeld, kFailed };
    // How a run's end went: ended for good; its changes could not be made durable, so it is to be
    // undone; or they are durable but its end could not be recorded, so the journal is left for
    // the next start (which finds the run ended or undoes it whole).
    enum class Ended { kEnded, kToUndo, kLeft };
    struct Failure {
        std::string path;
    };

    // The journal of a settings file, in `directory`: its name is made from the file's full path.
    static std::string PathFor(const std::string& directory, const std::string& settingsPath);

    // Opens and locks the journal; `create` makes it when missing.
    Opened Open(const std::string& journalPath, bool create);
    bool IsOpen() const { return file_.IsOpen(); }
    // Between StartRecording and the end of the run: its changes are undone if it stops.
    bool IsRecording() const { return recording_; }
    // Undoes what the journal holds from an interrupted run (a finished one is only tidied) and
    // leaves it empty. The paths that could not be put back are added to `failures`; false then,
    // and the journal is kept for a later try.
    bool Recover(std::vector<std::string>& failures);
    // From now on every change is recorded; `keepDirectory` is the first place tried for kept
    // files (the state directory).
    void StartRecording(const std::string& keepDirectory);
    // The run ended: once its changes are durable, the kept files and the journal go.
    Ended Finish();
    // The run did not end: every change is undone, newest first. As Recover.
    bool Undo(std::vector<std::string>& failures);
    // Gives up the journal as it is (the lock with it).
    void Close();

    Verdict Before(platform::ChangeKind kind, const std::string& from,
                   const std::string& to) override;
    void After(platform::ChangeKind kind, const std::string& from, const std::string& to,
               bool made) override;
    void StartPlanning() override;
    void StopPlanning() override;

    // The text of one record, and a record read back from a line; false for a torn or foreign line.
    struct Record {
        char type = 0;
        std::string first;
        std::string second;
    };
    static std::string FormatRecord(const Record& record);
    static bool ParseRecord(const std::string& line, Record& record);

  private:
    struct Pending {
        platform::ChangeKind kind;
        std::string from;
        std::string to;
        std::vector<size_t> records;  // what the change wrote
        bool planned = false;
    };

    size_t Write(char type, const std::string& first, const std::string& second = {});
    bool Durable();
    bool RecordChange(Pending& change);
    void RecordDirectoryState(const std::string& directory);
    bool Prepare(const Pending& change);
    void Cancel(const Pending& change);
    void CancelUnmade();
    bool StillFits(const Pending& change);
    std::string KeptNameFor(const std::string& path, size_t index);
    bool UndoRecords(std::vector<Record> records, std::vector<std::string>& failures);
    struct UndoGroup;
    bool CloseGroup(UndoGroup& group, std::vector<std::string>& failures);
    void Tidy(const std::vector<Record>& records);
    static void RemoveTemporaries(const std::vector<Record>& records);

    platform::JournalFile file_;
    std::string journalPath_;
    std::string keepDirectory_;
    std::string keyName_;
    std::vector<Record> records_;
    std::vector<std::string> keepDirectories_;
    std::set<std::string> statedEntries_;  // whose state an undo sets back already
    std::string lastParent_;  // the directory of the last file kept, and where it was kept
    std::string lastKeepDirectory_;
    std::vector<Pending> planned_;
    size_t planNext_ = 0;
    std::string pendingText_;
    Pending current_;
    bool recording_ = false;
    bool planning_ = false;
    bool busy_ = false;
    bool broken_ = false;
};

}  // namespace updater
