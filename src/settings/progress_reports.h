#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/string.h"
#include "platform/progress.h"

namespace updater {

// Chooses, once at start-up, where the progress of long procedures goes, by the script's PROGRESS
// value as read and expanded: nowhere when it is absent, empty, 0 or no number; else the run log
// in an unattended run, and the platform's display under `caption` in any other. A run that is
// `undoable` (its changes undone when it does not end) lets the person stop it from the display.
void StartProgressReports(const String& progressValue, const String& caption, bool undoable);
// Ends the reports and closes whatever showed them.
void StopProgressReports();

// The run log's form: a progress event as soon as a procedure begins, then at most one each half
// second while it advances, and a last one when it ends unless the last written already tells
// the same. A program that started the Updater reads these to show the progress itself.
class ProgressLog : public platform::ProgressReceiver {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    explicit ProgressLog(Clock clock = std::chrono::steady_clock::now);

    void Begin(const std::string& procedure, platform::ProgressWork work, uint64_t total) override;
    void Item(const std::string& path) override;
    void Advance(uint64_t done) override;
    void End(bool succeeded) override;

  private:
    void Write();

    Clock clock_;
    std::string procedure_;
    const char* unit_ = "";
    std::optional<uint64_t> total_;
    uint64_t done_ = 0;
    uint64_t written_ = 0;
    std::chrono::steady_clock::time_point writtenAt_;
};

}  // namespace updater
