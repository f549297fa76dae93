#include <gtest/gtest.h>

#include "settings/error_box.h"
#include "settings/process_values.h"
#include "settings/profile_reader.h"
#include "support/script_fixture.h"

namespace updater {
namespace {

using testing::Message;
using ProfileReaderTest = testing::ScriptTest;

TEST_F(ProfileReaderTest, TextKeysEmptyPresentMissingAndNoData) {
    WriteScript("[Setup]\nEMPTY=\nGONE=no_data\nTEXT= value with spaces \n");
    String out = "before";
    EXPECT_TRUE(ReadKey("Setup", "EMPTY", out));
    EXPECT_STREQ(out.CStr(), "");
    EXPECT_TRUE(ReadKey("setup", "text", out));
    EXPECT_STREQ(out.CStr(), "value with spaces");
    out = "kept";
    EXPECT_FALSE(ReadKey("Setup", "GONE", out));
    EXPECT_FALSE(ReadKey("Setup", "MODE", out));
    EXPECT_FALSE(ReadKey("Nowhere", "MODE", out));
    EXPECT_STREQ(out.CStr(), "kept");
    const std::vector<std::string> expected = {
        Message(2, "Setup", "GONE"), Message(2, "Setup", "MODE"), Message(2, "Nowhere", "MODE")};
    EXPECT_EQ(BoxTexts(), expected);
    EXPECT_EQ(Boxes()[0].style, 16u);
    EXPECT_EQ(Boxes()[0].caption, "Test");
}

TEST_F(ProfileReaderTest, ValuesAreCutAt258Characters) {
    WriteScript("[S]\nLONG=" + std::string(300, 'v') + "\n");
    String out;
    ASSERT_TRUE(ReadKey("S", "LONG", out));
    EXPECT_EQ(out.GetLength(), 258);
}

TEST_F(ProfileReaderTest, IntegerKeysReadLeadingNumbersAndKeepOutputOtherwise) {
    WriteScript("[S]\nA=12abc\nB=abc\nC= -7\n");
    int value = 99;
    EXPECT_TRUE(ReadIntKey("S", "A", value));
    EXPECT_EQ(value, 12);
    EXPECT_TRUE(ReadIntKey("S", "B", value));
    EXPECT_EQ(value, 12);
    EXPECT_TRUE(ReadIntKey("S", "C", value));
    EXPECT_EQ(value, -7);
    EXPECT_FALSE(ReadIntKey("S", "D", value));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(2, "S", "D")});
}

TEST_F(ProfileReaderTest, SectionsSkipCommentLinesAndJoinWithLineFeeds) {
    WriteScript("[DEFINE]\n<A>=1\n;comment\nplain line\n<B>=x=y\n[ONLY]\n;a\n;b\n");
    String table;
    EXPECT_EQ(ReadSection(SettingsPath, "DEFINE", table), 3);
    EXPECT_STREQ(table.CStr(), "<A>=1\nplain line\n<B>=x=y");
    String untouched = "same";
    EXPECT_EQ(ReadSection(SettingsPath, "ONLY", untouched), 0);
    EXPECT_EQ(ReadSection(SettingsPath, "MISSING", untouched), 0);
    EXPECT_STREQ(untouched.CStr(), "same");
}

}  // namespace
}  // namespace updater
