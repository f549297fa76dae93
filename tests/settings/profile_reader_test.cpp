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

// A value cut short could name a directory where the script named a file in it: values arrive
// whole up to the bound, counted in characters, and a longer one fails with message 2.
TEST_F(ProfileReaderTest, ValuesAreReadWholeAndLongerOnesAreRefused) {
    const std::string longest = std::string(kMaxValueLength - 2, 'v') + "\xE3\x81\x82!";
    WriteScript("[S]\nLONG=" + longest + "\nTOO=" + std::string(kMaxValueLength + 1, 'v') +
                "\nFAR=" + std::string(3 * kMaxValueLength, 'v') +
                "\nN=" + std::string(kMaxValueLength, '1') + "1\n");
    String out("kept");
    ASSERT_TRUE(ReadKey("S", "LONG", out));
    EXPECT_EQ(std::string(out.CStr()), longest);
    EXPECT_TRUE(Boxes().empty());
    for (const char* key : {"TOO", "FAR"}) {
        out = "kept";
        EXPECT_FALSE(ReadKey("S", key, out)) << key;
        EXPECT_STREQ(out.CStr(), "kept");
    }
    int number = 5;
    EXPECT_FALSE(ReadIntKey("S", "N", number));
    EXPECT_EQ(number, 5);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{Message(2, "S", "TOO"), Message(2, "S", "FAR"),
                                                    Message(2, "S", "N")}));
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
