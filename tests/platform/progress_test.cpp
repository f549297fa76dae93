#include "platform/progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace updater::platform {
namespace {

// Writes down what reaches it.
class Recorder : public ProgressReceiver {
  public:
    explicit Recorder(std::vector<std::string>& calls) : calls_(calls) {}
    void Begin(const std::string& procedure, ProgressWork, uint64_t total) override {
        calls_.push_back(procedure + " of " + (total == kNoTotal ? "?" : std::to_string(total)));
    }
    void Item(const std::string& path) override { calls_.push_back(path); }
    void Advance(uint64_t done) override { calls_.push_back(std::to_string(done)); }
    void End(bool succeeded) override { calls_.push_back(succeeded ? "done" : "failed"); }

  private:
    std::vector<std::string>& calls_;
};

class ProgressTest : public ::testing::Test {
  protected:
    void SetUp() override { SetProgressReceiver(std::make_unique<Recorder>(calls_)); }
    void TearDown() override { SetProgressReceiver(nullptr); }
    std::vector<std::string> calls_;
};

// Entries may turn out bigger or smaller than they were counted; the receiver still sees done
// only grow, never past the total, and reaching the total when the procedure succeeds.
TEST_F(ProgressTest, DoneOnlyGrowsWithinTheTotal) {
    BeginProgress("Copy", ProgressWork::kCopying, 100);
    StartProgressItem("a", 30);
    ReportItemProgress(10);
    ReportItemProgress(50);  // beyond the entry's own size
    ReportItemProgress(20);
    StartProgressItem("b", 90);
    ReportItemProgress(90);
    StartProgressItem("c", 5);
    EndProgress(true);
    BeginProgress("Small", ProgressWork::kCopying, 100);
    StartProgressItem("d", 10);
    EndProgress(true);
    EXPECT_EQ(calls_, (std::vector<std::string>{"Copy of 100", "a", "10", "30", "b", "100", "c",
                                                "done", "Small of 100", "d", "100", "done"}));
}

// Entries that are only planned (ROLLBACK records a group before working on it) must not count:
// the bar would otherwise reach the end while the work has barely begun.
TEST_F(ProgressTest, PlannedEntriesAreNotCounted) {
    BeginProgress("Copy", ProgressWork::kCopying, 100);
    HoldProgress(true);
    StartProgressItem("a", 50);
    StartProgressItem("b", 50);
    HoldProgress(false);
    StartProgressItem("a", 50);
    StartProgressItem("b", 50);
    EndProgress(true);
    EXPECT_EQ(calls_, (std::vector<std::string>{"Copy of 100", "a", "b", "50", "100", "done"}));
}

TEST_F(ProgressTest, FailuresKeepTheirDoneAndWaitsCountPrograms) {
    BeginProgress("Copy", ProgressWork::kCopying, 100);
    StartProgressItem("a", 40);
    ReportItemProgress(25);
    EndProgress(false);
    ReportItemProgress(30);  // no procedure: nowhere
    BeginProgress("Wait", ProgressWork::kWaiting, kNoTotal);
    StartProgressItem("p", 1);
    StartProgressItem("q", 1);
    EndProgress(true);
    EXPECT_EQ(calls_, (std::vector<std::string>{"Copy of 100", "a", "25", "failed", "Wait of ?",
                                                "p", "q", "1", "2", "done"}));
    EXPECT_TRUE(ProgressWanted());
    SetProgressReceiver(nullptr);
    EXPECT_FALSE(ProgressWanted());
    BeginProgress("Copy", ProgressWork::kCopying, 1);
    EndProgress(true);
    EXPECT_EQ(calls_.size(), 10u);
}

}  // namespace
}  // namespace updater::platform
