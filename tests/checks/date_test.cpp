#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>
#include <ctime>
#include <string>

#include "checks/check_kinds.h"
#include "support/script_fixture.h"

namespace updater {
namespace {

class FileDateTest : public testing::ScriptTest {
  protected:
    // A file last written at noon, local time, of the given day.
    std::string FileOf(int year, int month, int day) {
        WriteFile("dated.txt", "x");
        std::tm noon{};
        noon.tm_year = year - 1900;
        noon.tm_mon = month - 1;
        noon.tm_mday = day;
        noon.tm_hour = 12;
        noon.tm_isdst = -1;
        const utimbuf times{std::mktime(&noon), std::mktime(&noon)};
        utime(NativePath("dated.txt").c_str(), &times);
        return EnginePath("dated.txt");
    }
};

TEST_F(FileDateTest, ComparesLocalDatesItemByItem) {
    const std::string path = FileOf(2020, 5, 17);
    EXPECT_TRUE(FileDateOnOrAfter(path.c_str(), "2020/05/17"));
    EXPECT_TRUE(FileDateOnOrAfter(path.c_str(), "2020/5/16"));
    EXPECT_FALSE(FileDateOnOrAfter(path.c_str(), "2020/5/18"));
    EXPECT_FALSE(FileDateOnOrAfter(path.c_str(), "2020/6/1"));
    EXPECT_TRUE(FileDateOnOrAfter(path.c_str(), "2019/12/31"));
    EXPECT_TRUE(FileDateOnOrAfter(path.c_str(), "2020/5"));      // day 0
    EXPECT_TRUE(FileDateOnOrAfter(path.c_str(), " 2020/ 5/x"));  // blanks skipped, x is 0
    EXPECT_FALSE(FileDateOnOrAfter(path.c_str(), "2021"));
    EXPECT_TRUE(FileDateOnOrAfter(path.c_str(), ""));
}

TEST_F(FileDateTest, FilesThatCannotBeOpenedCountAsOlder) {
    WriteFile("dir/x.txt", "x");
    EXPECT_FALSE(FileDateOnOrAfter(EnginePath("missing.txt").c_str(), "1900/1/1"));
    EXPECT_FALSE(FileDateOnOrAfter(EnginePath("dir").c_str(), "1900/1/1"));
    EXPECT_FALSE(FileDateOnOrAfter(EnginePath("dir\\*.txt").c_str(), "1900/1/1"));
}

}  // namespace
}  // namespace updater
