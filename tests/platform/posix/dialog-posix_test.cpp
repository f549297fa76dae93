#include "platform/dialog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstring>

#include "platform/posix/internal-posix.h"
#include "platform/posix/scoped_environment.h"

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

namespace updater::platform::posix {
namespace {

using Arguments = std::vector<std::string>;

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

namespace updater::platform::posix {
namespace {

TEST(LocalX11SocketPath, FindsTheSocketOfALocalDisplay) {
    EXPECT_EQ(LocalX11SocketPath(":0"), "/tmp/.X11-unix/X0");
    EXPECT_EQ(LocalX11SocketPath(":12.1"), "/tmp/.X11-unix/X12");
    EXPECT_EQ(LocalX11SocketPath("unix:3"), "/tmp/.X11-unix/X3");
}

TEST(LocalX11SocketPath, KnowsNoSocketForOtherNames) {
    EXPECT_EQ(LocalX11SocketPath("localhost:10.0"), std::nullopt);
    EXPECT_EQ(LocalX11SocketPath(":"), std::nullopt);
    EXPECT_EQ(LocalX11SocketPath(":x"), std::nullopt);
    EXPECT_EQ(LocalX11SocketPath("0"), std::nullopt);
    EXPECT_EQ(LocalX11SocketPath(""), std::nullopt);
}

TEST(WaylandSocketPath, IsBelowTheRuntimeDirectoryUnlessAbsolute) {
    EXPECT_EQ(WaylandSocketPath("wayland-0", "/run/user/1000"), "/run/user/1000/wayland-0");
    EXPECT_EQ(WaylandSocketPath("/tmp/w", ""), "/tmp/w");
    EXPECT_EQ(WaylandSocketPath("wayland-0", ""), std::nullopt);
}

class DisplayAvailable : public ::testing::Test {
  protected:
    // A listening Unix socket in the temporary directory, standing for a display server.
    std::string MakeSocket(const std::string& name) {
        std::string path = directory_.path() + "/" + name;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        socket_ = socket(AF_UNIX, SOCK_STREAM, 0);
        EXPECT_EQ(bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        return path;
    }
    ~DisplayAvailable() override {
        if (socket_ >= 0) {
            close(socket_);
        }
    }

    test_support::TemporaryDirectory directory_;
    test_support::ScopedVariable wayland_{"WAYLAND_DISPLAY", std::nullopt};
    test_support::ScopedVariable display_{"DISPLAY", std::nullopt};
    test_support::ScopedVariable runtime_{"XDG_RUNTIME_DIR", std::nullopt};
    int socket_ = -1;
};

TEST_F(DisplayAvailable, IsFalseWithoutADisplayName) {
    EXPECT_FALSE(IsDisplayAvailable());
}

TEST_F(DisplayAvailable, IsFalseForALocalDisplayWithoutSocket) {
    setenv("DISPLAY", ":987", 1);
    EXPECT_FALSE(IsDisplayAvailable());
    setenv("WAYLAND_DISPLAY", "wayland-987", 1);
    setenv("XDG_RUNTIME_DIR", directory_.path().c_str(), 1);
    EXPECT_FALSE(IsDisplayAvailable());
}

TEST_F(DisplayAvailable, TrustsADisplayOnAnotherHost) {
    setenv("DISPLAY", "localhost:10.0", 1);
    EXPECT_TRUE(IsDisplayAvailable());
}

TEST_F(DisplayAvailable, FindsAWaylandSocket) {
    MakeSocket("wayland-1");
    setenv("WAYLAND_DISPLAY", "wayland-1", 1);
    setenv("XDG_RUNTIME_DIR", directory_.path().c_str(), 1);
    EXPECT_TRUE(IsDisplayAvailable());
}

TEST_F(DisplayAvailable, WantsASocketNotAFile) {
    std::string path = directory_.path() + "/wayland-2";
    close(creat(path.c_str(), 0600));
    setenv("WAYLAND_DISPLAY", path.c_str(), 1);
    EXPECT_FALSE(IsDisplayAvailable());
}

}  // namespace
}  // namespace updater::platform::posix
