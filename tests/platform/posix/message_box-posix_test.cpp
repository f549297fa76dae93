#include "platform/posix/internal-posix.h"

#include <gtest/gtest.h>

#include "platform/dialog.h"

namespace updater::platform::posix {
namespace {

constexpr unsigned kError = kStyleOk | kStyleIconError;                                // 16
constexpr unsigned kQuestion = kStyleYesNo | kStyleIconQuestion;                       // 36
constexpr unsigned kWarning = kStyleYesNo | kStyleIconWarning | kStyleDefaultButton2;  // 308

TEST(MessageBoxStyle, DefaultAnswerFollowsButtonsAndDefaultButton) {
    EXPECT_EQ(DefaultAnswer(kError), kAnswerOk);
    EXPECT_EQ(DefaultAnswer(kStyleIconInformation), kAnswerOk);
    EXPECT_EQ(DefaultAnswer(kQuestion), kAnswerYes);
    EXPECT_EQ(DefaultAnswer(kWarning), kAnswerNo);
    // A second default button on a box with one button leaves OK.
    EXPECT_EQ(DefaultAnswer(kStyleOk | kStyleDefaultButton2), kAnswerOk);
}

TEST(MessageBoxStyle, NamesIconsAndAnswers) {
    EXPECT_EQ(IconName(kError), "error");
    EXPECT_EQ(IconName(kQuestion), "question");
    EXPECT_EQ(IconName(kWarning), "warning");
    EXPECT_EQ(IconName(kStyleIconInformation), "information");
    EXPECT_EQ(IconName(kStyleYesNo), "");
    EXPECT_EQ(AnswerName(kAnswerOk), "OK");
    EXPECT_EQ(AnswerName(kAnswerCancel), "Cancel");
    EXPECT_EQ(AnswerName(kAnswerYes), "Yes");
    EXPECT_EQ(AnswerName(kAnswerNo), "No");
    EXPECT_EQ(AnswerName(kAnswerNone), "");
}

TEST(TerminalBox, ShowsCaptionIconAndTextUnchanged) {
    EXPECT_EQ(FormatTerminalBox("File C:\\a.txt\nnot found.", "Setup", kError),
              "=== Setup === (error)\nFile C:\\a.txt\nnot found.\n");
    EXPECT_EQ(FormatTerminalBox("", "", kStyleOk), "===  ===\n\n");
}

TEST(TerminalBox, MarksTheDefaultButton) {
    EXPECT_EQ(FormatTerminalPrompt(kError), "[OK] > ");
    EXPECT_EQ(FormatTerminalPrompt(kQuestion), "[Yes] / No > ");
    EXPECT_EQ(FormatTerminalPrompt(kWarning), "Yes / [No] > ");
}

TEST(TerminalAnswer, EmptyLineTakesTheDefault) {
    EXPECT_EQ(ParseTerminalAnswer("", kQuestion), kAnswerYes);
    EXPECT_EQ(ParseTerminalAnswer("  \r", kWarning), kAnswerNo);
    EXPECT_EQ(ParseTerminalAnswer("", kError), kAnswerOk);
}

TEST(TerminalAnswer, YesNoBoxTakesWordsInAnyCase) {
    EXPECT_EQ(ParseTerminalAnswer("y", kWarning), kAnswerYes);
    EXPECT_EQ(ParseTerminalAnswer(" YES ", kWarning), kAnswerYes);
    EXPECT_EQ(ParseTerminalAnswer("n", kQuestion), kAnswerNo);
    EXPECT_EQ(ParseTerminalAnswer("No\r", kQuestion), kAnswerNo);
}

TEST(TerminalAnswer, YesNoBoxAsksAgainForAnythingElse) {
    EXPECT_EQ(ParseTerminalAnswer("ok", kQuestion), std::nullopt);
    EXPECT_EQ(ParseTerminalAnswer("yess", kQuestion), std::nullopt);
    EXPECT_EQ(ParseTerminalAnswer("y n", kQuestion), std::nullopt);
}

TEST(TerminalAnswer, OkBoxTakesAnything) {
    EXPECT_EQ(ParseTerminalAnswer("ok", kError), kAnswerOk);
    EXPECT_EQ(ParseTerminalAnswer("no", kError), kAnswerOk);
}

}  // namespace
}  // namespace updater::platform::posix
