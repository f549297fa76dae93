#include "fileops/change_journal.h"

#include <gtest/gtest.h>

#include <string>

namespace updater {
namespace {

// Records carry any path, tabs and line breaks included, and a record torn or altered by a crash
// is never taken for one.
TEST(ChangeJournal, RecordsComeBackWholeAndTornOnesAreRefused) {
    const ChangeJournal::Record record{'K', "C:\\a\tb\n%c.txt", "\\kept\\12"};
    const std::string line = ChangeJournal::FormatRecord(record);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    ChangeJournal::Record read;
    ASSERT_TRUE(ChangeJournal::ParseRecord(line.substr(0, line.size() - 1), read));
    EXPECT_EQ(read.type, 'K');
    EXPECT_EQ(read.first, record.first);
    EXPECT_EQ(read.second, record.second);
    for (size_t cut = 0; cut + 1 < line.size(); ++cut)
        EXPECT_FALSE(ChangeJournal::ParseRecord(line.substr(0, cut), read)) << cut;
    std::string altered = line.substr(0, line.size() - 1);
    altered[12] ^= 1;
    EXPECT_FALSE(ChangeJournal::ParseRecord(altered, read));
    EXPECT_FALSE(ChangeJournal::ParseRecord("", read));
}

// One journal per settings file, wherever the state directory is.
TEST(ChangeJournal, JournalNameFollowsTheWholeSettingsPath) {
    const std::string one = ChangeJournal::PathFor("\\var\\lib\\updater", "C:\\a\\setup.ini");
    EXPECT_EQ(one.rfind("\\var\\lib\\updater\\journal-", 0), 0u) << one;
    EXPECT_EQ(one, ChangeJournal::PathFor("\\var\\lib\\updater", "C:\\a\\setup.ini"));
    EXPECT_NE(one, ChangeJournal::PathFor("\\var\\lib\\updater", "C:\\b\\setup.ini"));
}

}  // namespace
}  // namespace updater
