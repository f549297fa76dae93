#include "platform/posix/internal-posix.h"

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

using Arguments = std::vector<std::string>;

// The plain rules are shown end to end; these are the ones about backslashes, doubled quotes
// and the program's name, in which backslashes never escape.
TEST(SplitCommandLine, SplitsAsTheStartupCodeOfWindowsPrograms) {
    EXPECT_EQ(SplitCommandLine("p C:\\d\\ a\\\\ \t\"\""), (Arguments{"p", "C:\\d\\", "a\\\\", ""}));
    EXPECT_EQ(SplitCommandLine("p a\\\\\"b c\" a\\\\\\\"b \"a\"\"b"),
              (Arguments{"p", "a\\b c", "a\\\"b", "a\"b"}));
    EXPECT_EQ(SplitCommandLine("\\my apps\\tool /S"), (Arguments{"\\my", "apps\\tool", "/S"}));
    EXPECT_EQ(SplitCommandLine("\\d\\a\"b c\"d\\ x"), (Arguments{"\\d\\ab cd\\", "x"}));
    EXPECT_EQ(SplitCommandLine(""), Arguments{});
}

}  // namespace
}  // namespace updater::platform::posix
