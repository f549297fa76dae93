#include "resources/message_table.h"

#include <gtest/gtest.h>

#include <string>

#include "core/string.h"
#include "support/script_fixture.h"

namespace updater {
namespace {

TEST(MessageTable, HasIdsOneToSixteen) {
    for (unsigned id = 1; id <= 16; ++id) {
        ASSERT_NE(MessageText(id), nullptr) << id;
        EXPECT_NE(MessageText(id)[0], '\0') << id;
    }
    EXPECT_EQ(MessageText(0), nullptr);
    EXPECT_EQ(MessageText(17), nullptr);
    EXPECT_EQ(MessageText(0xFFFFFFFFu), nullptr);
}

// Each message takes the arguments its callers pass: one or two texts (12: a text and a number).
TEST(MessageTable, PlaceholdersMatchTheArguments) {
    for (unsigned id : {1u, 3u, 5u, 6u, 7u, 10u, 13u, 16u}) {
        EXPECT_EQ(String(MessageText(id)).CountOf("%"), 1) << id;
        EXPECT_EQ(String(MessageText(id)).CountOf("\"%s\""), 1) << id;
    }
    for (unsigned id : {2u, 4u, 8u, 9u, 14u, 15u}) {
        EXPECT_EQ(String(MessageText(id)).CountOf("%"), 2) << id;
        EXPECT_EQ(String(MessageText(id)).CountOf("\"%s\""), 2) << id;
    }
    EXPECT_EQ(String(MessageText(11)).CountOf("%"), 0);
    EXPECT_EQ(String(MessageText(12)).CountOf("%"), 2);
}

TEST(MessageTable, SettingsFormatMessage) {
    String text;
    text.LoadFormat(2, "Setup", "MODE");
    EXPECT_EQ(std::string(text.CStr()), testing::Message(2, "Setup", "MODE"));
}

TEST(MessageTable, FileNotFoundHasAsciiThenFullWidthColon) {
    String text;
    text.LoadFormat(1, "C:\\tool\\setup.ini");
    EXPECT_EQ(std::string(text.CStr()), testing::Message(1, "C:\\tool\\setup.ini"));
    EXPECT_NE(std::string(text.CStr()).find(":\uFF1A\""), std::string::npos);
}

TEST(MessageTable, AttributeIsEightUpperCaseHexDigits) {
    String text;
    text.LoadFormat(12, "a.txt", 0x2Au);
    EXPECT_EQ(std::string(text.CStr()), testing::Message(12, "a.txt", 0x2Au));
    EXPECT_NE(std::string(text.CStr()).find("\uFF1A0x0000002A"), std::string::npos);
    text.LoadFormat(12, "b", 0xFFFFFFFFu);
    EXPECT_NE(std::string(text.CStr()).find("0xFFFFFFFF"), std::string::npos);
}

TEST(MessageTable, ProcedureCountMessageHasNoArgument) {
    String text;
    text.LoadFormat(11);
    EXPECT_EQ(std::string(text.CStr()), testing::Message(11));
    EXPECT_EQ(text.CountOf("\n"), 0);
}

TEST(MessageTable, OutOfMemoryAndCopyMessages) {
    String text;
    text.LoadFormat(3, "COPY_INFO");
    EXPECT_EQ(std::string(text.CStr()), testing::Message(3, "COPY_INFO"));
    text.LoadFormat(8, "a", "b");
    EXPECT_EQ(std::string(text.CStr()), testing::Message(8, "a", "b"));
}

// However long the arguments, the whole message comes out.
TEST(MessageTable, LongArgumentsAreNotCut) {
    const std::string source(3000, 's');
    const std::string destination(3000, 'd');
    String text;
    text.LoadFormat(14, source.c_str(), destination.c_str());
    EXPECT_EQ(std::string(text.CStr()), testing::Message(14, source.c_str(), destination.c_str()));
}

}  // namespace
}  // namespace updater
