#include "platform/posix/internal-posix.h"

#include <gtest/gtest.h>

#include "platform/dialog.h"

namespace updater::platform::posix {
namespace {

using Arguments = std::vector<std::string>;

constexpr unsigned kError = kStyleOk | kStyleIconError;
constexpr unsigned kQuestion = kStyleYesNo | kStyleIconQuestion;
constexpr unsigned kWarning = kStyleYesNo | kStyleIconWarning | kStyleDefaultButton2;

TEST(DialogProgramsToTry, PrefersKdialogOnlyOnKde) {
    using P = DialogProgram;
    EXPECT_EQ(DialogProgramsToTry(""), (std::vector<P>{P::kZenity, P::kKdialog}));
    EXPECT_EQ(DialogProgramsToTry("GNOME"), (std::vector<P>{P::kZenity, P::kKdialog}));
    EXPECT_EQ(DialogProgramsToTry("KDE"), (std::vector<P>{P::kKdialog, P::kZenity}));
    EXPECT_EQ(DialogProgramsToTry("ubuntu:KDE"), (std::vector<P>{P::kKdialog, P::kZenity}));
    EXPECT_EQ(DialogProgramsToTry("KDEish"), (std::vector<P>{P::kZenity, P::kKdialog}));
}

TEST(ZenityArguments, ChooseBoxKindFromButtonsAndIcon) {
    auto kind = [](unsigned style) {
        return DialogArguments(DialogProgram::kZenity, "t", "c", style).front();
    };
    EXPECT_EQ(kind(kError), "--error");
    EXPECT_EQ(kind(kStyleIconWarning), "--warning");
    EXPECT_EQ(kind(kStyleIconInformation), "--info");
    EXPECT_EQ(kind(kStyleIconQuestion), "--info");
    EXPECT_EQ(kind(kStyleOk), "--info");
    EXPECT_EQ(kind(kQuestion), "--question");
    EXPECT_EQ(kind(kWarning), "--question");
}

TEST(ZenityArguments, PassTextAsPlainTextAndHonourTheDefaultButton) {
    EXPECT_EQ(DialogArguments(DialogProgram::kZenity, "<b>C:\\x</b>", "Setup", kQuestion),
              (Arguments{"--question", "--title=Setup", "--text=<b>C:\\x</b>", "--no-markup"}));
    EXPECT_EQ(
        DialogArguments(DialogProgram::kZenity, "-t", "", kWarning),
        (Arguments{"--question", "--title=", "--text=-t", "--no-markup", "--default-cancel"}));
}

TEST(KdialogArguments, ChooseBoxKindFromButtonsAndIcon) {
    auto arguments = [](unsigned style) {
        return DialogArguments(DialogProgram::kKdialog, "Text", "Setup", style);
    };
    EXPECT_EQ(arguments(kError), (Arguments{"--title", "Setup", "--error", "Text"}));
    EXPECT_EQ(arguments(kStyleIconWarning), (Arguments{"--title", "Setup", "--sorry", "Text"}));
    EXPECT_EQ(arguments(kStyleIconInformation),
              (Arguments{"--title", "Setup", "--msgbox", "Text"}));
    EXPECT_EQ(arguments(kQuestion), (Arguments{"--title", "Setup", "--yesno", "Text"}));
    EXPECT_EQ(arguments(kWarning), (Arguments{"--title", "Setup", "--warningyesno", "Text"}));
}

TEST(AnswerFromExitCode, MapsTheTwoAnswersOfAYesNoBox) {
    EXPECT_EQ(AnswerFromExitCode(0, kQuestion), kAnswerYes);
    EXPECT_EQ(AnswerFromExitCode(1, kWarning), kAnswerNo);
}

TEST(AnswerFromExitCode, OkBoxAnswersOkHoweverItIsClosed) {
    EXPECT_EQ(AnswerFromExitCode(0, kError), kAnswerOk);
    EXPECT_EQ(AnswerFromExitCode(1, kError), kAnswerOk);
}

TEST(AnswerFromExitCode, OtherCodesMeanNoBoxWasShown) {
    EXPECT_EQ(AnswerFromExitCode(255, kQuestion), std::nullopt);
    EXPECT_EQ(AnswerFromExitCode(127, kError), std::nullopt);
    EXPECT_EQ(AnswerFromExitCode(5, kQuestion), std::nullopt);
}

}  // namespace
}  // namespace updater::platform::posix
