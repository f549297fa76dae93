#include "settings/progress_reports.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/script_fixture.h"

namespace updater {
namespace {

class ProgressLogTest : public testing::ScriptTest {
  protected:
    std::vector<std::string> Events() const {
        std::ifstream log(NativePath("run.log"));
        std::vector<std::string> events;
        for (std::string line; std::getline(log, line);)
            events.push_back(line);
        return events;
    }
};

std::string Event(const char* proc, int done, const char* total, const char* unit) {
    return std::string("{\"event\":\"progress\",\"proc\":\"") + proc +
           "\",\"done\":" + std::to_string(done) + ",\"total\":" + total + ",\"unit\":\"" + unit +
           "\"}";
}

TEST_F(ProgressLogTest, FirstAtOnceThenTwiceASecondAndTheLastAlways) {
    using std::chrono::milliseconds;
    std::chrono::steady_clock::time_point now;
    ProgressLog log([&now] { return now; });
    log.Begin("Copy", platform::ProgressWork::kCopying, 300);
    log.Advance(100);
    now += milliseconds(499);
    log.Advance(150);
    now += milliseconds(1);
    log.Advance(200);
    log.Advance(300);
    log.End(true);
    log.Begin("Delete", platform::ProgressWork::kDeleting, 2);
    now += milliseconds(600);
    log.Advance(2);
    log.End(true);  // already told
    log.Begin("Wait", platform::ProgressWork::kWaiting, platform::kNoTotal);
    log.End(false);
    EXPECT_EQ(Events(),
              (std::vector<std::string>{
                  Event("Copy", 0, "300", "bytes"), Event("Copy", 200, "300", "bytes"),
                  Event("Copy", 300, "300", "bytes"), Event("Delete", 0, "2", "files"),
                  Event("Delete", 2, "2", "files"), Event("Wait", 0, "null", "programs")}));
}

}  // namespace
}  // namespace updater
