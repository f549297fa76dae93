#include "platform/posix/command_line-posix.h"

#include <gtest/gtest.h>

namespace updater::platform::posix {
namespace {

TEST(JoinCommandLine, JoinsWordsWithSingleSpaces) {
    EXPECT_EQ(JoinCommandLine({"/tSetup", "/s"}), "/tSetup /s");
    EXPECT_EQ(JoinCommandLine({"one"}), "one");
    EXPECT_EQ(JoinCommandLine(std::vector<std::string>{}), "");
}

TEST(JoinCommandLine, QuotesAnArgumentWithASpace) {
    EXPECT_EQ(JoinCommandLine({"/tSetup", "C:\\My Dir", "/s"}), "/tSetup \"C:\\My Dir\" /s");
    EXPECT_EQ(JoinCommandLine({" "}), "\" \"");
}

TEST(JoinCommandLine, KeepsAnArgumentThatHasItsOwnQuotes) {
    EXPECT_EQ(JoinCommandLine({"/t\"Setup Tool\""}), "/t\"Setup Tool\"");
    EXPECT_EQ(JoinCommandLine({"say \"hi\" there"}), "say \"hi\" there");
}

TEST(JoinCommandLine, KeepsAnEmptyArgumentAsAWord) {
    EXPECT_EQ(JoinCommandLine({"a", "", "b"}), "a \"\" b");
}

TEST(JoinCommandLine, LeavesOtherCharactersAlone) {
    EXPECT_EQ(JoinCommandLine({"a\tb", "C:/temp", "\xE3\x83\x9B"}), "a\tb C:/temp \xE3\x83\x9B");
}

TEST(JoinCommandLine, SkipsTheProgramNameOfMain) {
    const char* argv[] = {"/opt/tool/setup", "/tSetup", "C:\\My Dir", nullptr};
    EXPECT_EQ(JoinCommandLine(3, argv), "/tSetup \"C:\\My Dir\"");
    EXPECT_EQ(JoinCommandLine(1, argv), "");
}

}  // namespace
}  // namespace updater::platform::posix
