#pragma once

#include <memory>
#include <string>
#include <vector>

// What a run that can be undone needs of the system: a place for its journal that outlives the
// process, a journal file that is durable when flushed and locked while it is open, and ways to
// keep what a change replaces without copying it.
namespace updater::platform {

// The per-machine directory for the state of runs: on Windows "Updater" in the common application
// data folder, on Linux /var/lib/updater as root, else "updater" under $XDG_STATE_HOME or
// ~/.local/state. `create` makes it when missing; false when it is not there.
bool GetStateDirectory(std::string& path, bool create);

// A journal file, held by this process alone while it is open: a second process that opens it
// meanwhile is told it is held.
class JournalFile {
  public:
    enum class Opened { kOpened, kMissing, kHeld, kFailed };

    JournalFile();
    ~JournalFile();
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    // Opens and locks the file; `create` makes it when missing (kMissing otherwise).
    Opened Open(const std::string& path, bool create);
    bool IsOpen() const;
    // The whole contents, from the start.
    bool ReadAll(std::string& contents);
    // Appends at the end; durable only after Flush.
    bool Append(const std::string& text);
    bool Flush();
    // Empties the file, durably.
    bool Clear();
    // Removes the file and gives up the lock.
    void Remove();
    void Close();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// True when both existing paths lie on one file system, so that a rename between them is no copy.
bool OnSameFileSystem(const std::string& first, const std::string& second);
// Gives the existing file or link at `path` the second name `kept` (a hard link), so that what it
// holds survives a delete or a replace by rename under its first name. False where the file
// system cannot do so.
bool LinkEntry(const std::string& path, const std::string& kept);
// Keeps the file at `path` under `kept` before a copy or a shortcut overwrites it, in the way
// that survives how this system overwrites: a hard link where the new file replaces the old one
// by rename (Linux); where the copy writes into the old file (Windows), the file is renamed
// aside, after the refusals of such a copy (read-only, hidden) so that those come first.
bool KeepBeforeOverwrite(const std::string& path, const std::string& kept);
// Gives a kept file its name again, replacing whatever file or link is there whatever its
// attributes; when both names are one file already, only `kept` goes.
bool PutBack(const std::string& kept, const std::string& path);
// An entry's attributes and times as text, and set back from that text.
bool ReadEntryState(const std::string& path, std::string& state);
bool WriteEntryState(const std::string& path, const std::string& state);
// Removes a file, a link or an empty directory, whatever its attributes. True when it is gone.
bool RemoveEntry(const std::string& path);
// Makes what was changed at these paths durable: the data of the files there and the entries of
// the directories holding them (made, renamed, linked or removed). A path that is gone counts by
// its nearest existing directory. False when the system does not confirm it.
bool MakeChangesDurable(const std::vector<std::string>& paths);

}  // namespace updater::platform
