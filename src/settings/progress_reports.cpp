#include "settings/progress_reports.h"

#include "core/numbers.h"
#include "resources/message_table.h"
#include "settings/run_log.h"
#include "settings/unattended.h"

namespace updater {
namespace {

constexpr std::chrono::milliseconds kLogInterval{500};

const char* UnitOf(platform::ProgressWork work) {
    switch (work) {
        case platform::ProgressWork::kDeleting:
            return "files";
        case platform::ProgressWork::kWaiting:
            return "programs";
        default:
            return "bytes";
    }
}

}  // namespace

ProgressLog::ProgressLog(Clock clock) : clock_(std::move(clock)) {}

void ProgressLog::Begin(const std::string& procedure, platform::ProgressWork work, uint64_t total) {
    procedure_ = procedure;
    unit_ = UnitOf(work);
    total_.reset();
    if (total != platform::kNoTotal)
        total_ = total;
    done_ = 0;
    Write();
}

void ProgressLog::Item(const std::string&) {}

void ProgressLog::Advance(uint64_t done) {
    done_ = done;
    if (clock_() - writtenAt_ >= kLogInterval)
        Write();
}

void ProgressLog::End(bool) {
    if (done_ != written_)
        Write();
}

void ProgressLog::Write() {
    LogProgress(procedure_.c_str(), done_, total_, unit_);
    written_ = done_;
    writtenAt_ = clock_();
}

void StartProgressReports(const String& progressValue, const String& caption, bool undoable) {
    int wanted = 0;
    ParseDecimal(progressValue.CStr(), wanted);
    if (wanted == 0) {
        platform::SetProgressReceiver(nullptr);
    } else if (IsUnattended()) {
        platform::SetProgressReceiver(std::make_unique<ProgressLog>());
    } else {
        platform::ProgressTexts texts;
        for (int i = 0; i < platform::kProgressWorkCount; ++i)
            texts.work[i] = ProgressText(static_cast<platform::ProgressWork>(i));
        texts.cancel = ProgressCancelText();
        texts.stopping = ProgressStoppingText();
        platform::SetProgressReceiver(
            platform::MakeProgressDisplay(caption.CStr(), texts, undoable));
    }
}

void StopProgressReports() {
    platform::SetProgressReceiver(nullptr);
}

}  // namespace updater
