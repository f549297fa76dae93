#include "platform/progress.h"

#include <algorithm>
#include <atomic>

// The accounting of the reports, the same on both platforms: what is done of the procedure is
// the entries finished plus the part of the entry at hand, never more than the total and never
// less than was reported before (an entry may turn out bigger or smaller than it was counted).
namespace updater::platform {
namespace {

struct ProgressState {
    std::unique_ptr<ProgressReceiver> receiver;
    bool active = false;
    bool held = false;
    uint64_t total = kNoTotal;
    uint64_t finished = 0;  // units of the entries before the one at hand
    uint64_t itemUnits = 0;
    uint64_t reported = 0;
};
ProgressState g_progress;
// Set by a display's thread, or a signal handler: lock-free.
std::atomic<bool> g_stopRequested{false};

void AdvanceTo(uint64_t done) {
    if (g_progress.total != kNoTotal)
        done = std::min(done, g_progress.total);
    if (done <= g_progress.reported)
        return;
    g_progress.reported = done;
    g_progress.receiver->Advance(done);
}

}  // namespace

void SetProgressReceiver(std::unique_ptr<ProgressReceiver> receiver) {
    // The old receiver is gone (its thread ended) before the request is forgotten.
    g_progress = ProgressState();
    g_stopRequested = false;
    g_progress.receiver = std::move(receiver);
}

bool ProgressWanted() {
    return g_progress.receiver != nullptr;
}

void BeginProgress(const std::string& procedure, ProgressWork work, uint64_t total) {
    if (!g_progress.receiver)
        return;
    if (g_progress.active)
        EndProgress(false);
    g_progress.active = true;
    g_progress.total = total;
    g_progress.finished = g_progress.itemUnits = g_progress.reported = 0;
    g_progress.receiver->Begin(procedure, work, total);
}

void StartProgressItem(const char* path, uint64_t units) {
    if (!g_progress.active || g_progress.held)
        return;
    g_progress.finished += g_progress.itemUnits;
    g_progress.itemUnits = units;
    g_progress.receiver->Item(path);
    AdvanceTo(g_progress.finished);
}

void ReportItemProgress(uint64_t unitsDone) {
    if (!g_progress.active || g_progress.held)
        return;
    AdvanceTo(g_progress.finished + std::min(unitsDone, g_progress.itemUnits));
}

void EndProgress(bool succeeded) {
    if (!g_progress.active)
        return;
    if (succeeded) {
        const uint64_t all = g_progress.finished + g_progress.itemUnits;
        AdvanceTo(g_progress.total != kNoTotal ? g_progress.total : all);
    }
    g_progress.active = false;
    g_progress.receiver->End(succeeded);
}

void HoldProgress(bool held) {
    g_progress.held = held;
}

void StepAsideForMessageBox() {
    if (g_progress.receiver)
        g_progress.receiver->StepAside();
}

void RequestStop() {
    g_stopRequested = true;
}

bool StopRequested() {
    return g_stopRequested.load(std::memory_order_relaxed);
}

}  // namespace updater::platform
