#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

// Progress of the procedures that can take long, for whoever waits for them. The work reports
// what it does through the free functions below; where the reports go is chosen once at start-up.
// Without a receiver (the default) each report costs one test and nothing else.
namespace updater::platform {

// What a procedure is doing; it also fixes the unit of its amounts.
enum class ProgressWork {
    kCopying,   // bytes
    kMoving,    // bytes
    kDeleting,  // files
    kWaiting,   // programs waited for, without a total
};
constexpr int kProgressWorkCount = 4;

// The total of work whose size is not known beforehand.
constexpr uint64_t kNoTotal = UINT64_MAX;

// Takes the progress of one procedure at a time: Begin, any number of Item and Advance, End. The
// amounts it is given never decrease and never pass the total; all calls come from the thread
// that does the work.
class ProgressReceiver {
  public:
    virtual ~ProgressReceiver() = default;
    virtual void Begin(const std::string& procedure, ProgressWork work, uint64_t total) = 0;
    // The file or program now at hand.
    virtual void Item(const std::string& path) = 0;
    virtual void Advance(uint64_t done) = 0;
    // A procedure that succeeded has first advanced to its total (when it has one).
    virtual void End(bool succeeded) = 0;
    // A message box comes next: nothing may stand in front of it until the next Begin. Returns
    // once the way is clear.
    virtual void StepAside() {}
};

// Hands the reports to `receiver` from now on; null ends them. The previous receiver is deleted.
void SetProgressReceiver(std::unique_ptr<ProgressReceiver> receiver);
// True when reports are taken: the work measures its total only then.
bool ProgressWanted();

// The reports of the work. A procedure begins with its total (or kNoTotal); each entry it takes
// on counts `units` (its size in bytes, or 1), and the entry before it is then done.
void BeginProgress(const std::string& procedure, ProgressWork work, uint64_t total);
void StartProgressItem(const char* path, uint64_t units);
// How much of the entry at hand is done, reported from within a long copy.
void ReportItemProgress(uint64_t unitsDone);
void EndProgress(bool succeeded);
// While the entries of a group are only planned (visited once to be recorded, then again to be
// worked on), they are not taken on yet: their reports are held back.
void HoldProgress(bool held);
// Called before every message box.
void StepAsideForMessageBox();

// A stop of the run asked for by the person at the machine (the display's Cancel), from any
// thread. The work gives up at its next progress point as if it had failed, and the run ends as
// aborted. Cleared when the receiver is set or ended, which is when a run begins or ends.
void RequestStop();
bool StopRequested();

// The texts of a display, in the messages' language.
struct ProgressTexts {
    std::array<std::string, kProgressWorkCount> work;  // names each ProgressWork
    std::string cancel;                                // the Cancel button
    std::string stopping;                              // shown once Cancel was pressed
};

// What the person at the machine sees of the reports: on Windows a window of its own; on Linux a
// line on a terminal, or else a desktop progress dialog. Null where nothing can be shown. The
// window's caption is `caption`. With `offerCancel` the display lets the person stop the run
// (RequestStop): only a run that can be undone offers it, as stopping halfway is then harmless.
std::unique_ptr<ProgressReceiver> MakeProgressDisplay(const std::string& caption,
                                                      const ProgressTexts& texts, bool offerCancel);

}  // namespace updater::platform
