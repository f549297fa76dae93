#include "platform/dialog.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/posix/internal-posix.h"
#include "platform/progress.h"

extern char** environ;

// A message box on Linux: a desktop dialog when there is a display to show it on, else a prompt
// on the terminal, else the box is written to standard error and takes its default button, as
// nobody is there to answer it. The prompt goes to standard error so that it is seen even when
// the output is redirected.
namespace updater::platform {

// --- Terminal wording ----------------------------------------------------------------------------
// What a message box asks, in words a terminal can show: the buttons, the default answer and
// the reading of a typed answer. Every way of showing a box uses these, so they all agree.

namespace posix {

namespace {

// The bits of a style that choose its icon.
constexpr unsigned kIconMask = 0xF0;
constexpr unsigned kButtonsMask = 0x0F;
constexpr unsigned kDefaultButtonMask = 0xF00;

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return std::string();
    }
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::string LowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string ButtonLabel(int answer, int defaultAnswer) {
    std::string name = AnswerName(answer);
    return answer == defaultAnswer ? "[" + name + "]" : name;
}

// True for a Yes/No box, false for a box with OK only.
bool HasYesNoButtons(unsigned style) {
    return (style & kButtonsMask) == kStyleYesNo;
}

}  // namespace

int DefaultAnswer(unsigned style) {
    if (!HasYesNoButtons(style)) {
        return kAnswerOk;
    }
    return (style & kDefaultButtonMask) == kStyleDefaultButton2 ? kAnswerNo : kAnswerYes;
}

std::string IconName(unsigned style) {
    switch (style & kIconMask) {
        case kStyleIconError:
            return "error";
        case kStyleIconQuestion:
            return "question";
        case kStyleIconWarning:
            return "warning";
        case kStyleIconInformation:
            return "information";
        default:
            return std::string();
    }
}

std::string AnswerName(int answer) {
    switch (answer) {
        case kAnswerOk:
            return "OK";
        case kAnswerCancel:
            return "Cancel";
        case kAnswerYes:
            return "Yes";
        case kAnswerNo:
            return "No";
        default:
            return std::string();
    }
}

std::string FormatTerminalBox(const std::string& text, const std::string& caption, unsigned style) {
    std::string icon = IconName(style);
    std::string heading = "=== " + caption + " ===";
    if (!icon.empty()) {
        heading += " (" + icon + ")";
    }
    return heading + "\n" + text + "\n";
}

std::string FormatTerminalPrompt(unsigned style) {
    int defaultAnswer = DefaultAnswer(style);
    if (!HasYesNoButtons(style)) {
        return ButtonLabel(kAnswerOk, defaultAnswer) + " > ";
    }
    return ButtonLabel(kAnswerYes, defaultAnswer) + " / " + ButtonLabel(kAnswerNo, defaultAnswer) +
           " > ";
}

std::optional<int> ParseTerminalAnswer(const std::string& line, unsigned style) {
    std::string answer = LowerCase(Trimmed(line));
    if (answer.empty() || !HasYesNoButtons(style)) {
        return DefaultAnswer(style);
    }
    if (answer == "y" || answer == "yes") {
        return kAnswerYes;
    }
    if (answer == "n" || answer == "no") {
        return kAnswerNo;
    }
    return std::nullopt;
}

}  // namespace posix

// --- Display -------------------------------------------------------------------------------------
// Whether a graphical display can be reached. A dialog program that cannot open its display
// exits as if the user had said No, so the display is checked before one is started.

namespace posix {

namespace {

std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

bool IsSocket(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

bool IsLocalHost(const std::string& host) {
    return host.empty() || host == "unix";
}

bool IsDisplayNumber(const std::string& number) {
    if (number.empty()) {
        return false;
    }
    for (char c : number) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
    }
    return true;
}

bool IsX11DisplayReachable(const std::string& display) {
    if (display.find(':') == std::string::npos) {
        return false;
    }
    std::optional<std::string> socket = LocalX11SocketPath(display);
    if (socket) {
        return IsSocket(*socket);
    }
    std::string host = display.substr(0, display.rfind(':'));
    return !IsLocalHost(host);
}

}  // namespace

std::optional<std::string> LocalX11SocketPath(const std::string& display) {
    size_t colon = display.rfind(':');
    if (colon == std::string::npos || !IsLocalHost(display.substr(0, colon))) {
        return std::nullopt;
    }
    std::string number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (!IsDisplayNumber(number)) {
        return std::nullopt;
    }
    return "/tmp/.X11-unix/X" + number;
}

std::optional<std::string> WaylandSocketPath(const std::string& waylandDisplay,
                                             const std::string& runtimeDirectory) {
    if (!waylandDisplay.empty() && waylandDisplay[0] == '/') {
        return waylandDisplay;
    }
    if (runtimeDirectory.empty()) {
        return std::nullopt;
    }
    return runtimeDirectory + "/" + waylandDisplay;
}

bool IsDisplayAvailable() {
    std::string wayland = EnvironmentText("WAYLAND_DISPLAY");
    if (!wayland.empty()) {
        std::optional<std::string> socket =
            WaylandSocketPath(wayland, EnvironmentText("XDG_RUNTIME_DIR"));
        if (socket && IsSocket(*socket)) {
            return true;
        }
    }
    std::string display = EnvironmentText("DISPLAY");
    return !display.empty() && IsX11DisplayReachable(display);
}

}  // namespace posix

// --- Dialog programs -----------------------------------------------------------------------------
// Message boxes through a dialog program of the desktop (zenity or kdialog), started directly
// with its arguments, never through a shell, so the text reaches it unchanged.

namespace posix {

namespace {

constexpr const char* kDefaultSearchPath = "/usr/local/bin:/usr/bin:/bin";

std::string ZenityKind(unsigned style) {
    if (HasYesNoButtons(style)) {
        return "--question";
    }
    switch (style & kIconMask) {
        case kStyleIconError:
            return "--error";
        case kStyleIconWarning:
            return "--warning";
        default:
            return "--info";
    }
}

// zenity's question box keeps its question icon: no icon option is accepted alike by all its
// versions, and an option it refuses would cost the box.
std::vector<std::string> ZenityArguments(const std::string& text, const std::string& caption,
                                         unsigned style) {
    std::vector<std::string> arguments = {ZenityKind(style), "--title=" + caption, "--text=" + text,
                                          "--no-markup"};
    if (HasYesNoButtons(style) && DefaultAnswer(style) == kAnswerNo) {
        arguments.push_back("--default-cancel");
    }
    return arguments;
}

std::string KdialogKind(unsigned style) {
    bool warning = (style & kIconMask) == kStyleIconWarning;
    if (HasYesNoButtons(style)) {
        return warning ? "--warningyesno" : "--yesno";
    }
    if ((style & kIconMask) == kStyleIconError) {
        return "--error";
    }
    return warning ? "--sorry" : "--msgbox";
}

// kdialog has no choice of the default button; its warning box is the nearest to a box that
// defaults to No.
std::vector<std::string> KdialogArguments(const std::string& text, const std::string& caption,
                                          unsigned style) {
    return {"--title", caption, KdialogKind(style), text};
}

bool IsExecutableFile(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

}  // namespace

// The program's path from PATH; empty and relative entries are skipped, so that nothing in the
// working directory is started by accident.
std::optional<std::string> FindOnSearchPath(const std::string& name) {
    const char* searchPath = std::getenv("PATH");
    std::istringstream entries(searchPath != nullptr ? searchPath : kDefaultSearchPath);
    std::string directory;
    while (std::getline(entries, directory, ':')) {
        if (directory.empty() || directory[0] != '/') {
            continue;
        }
        std::string candidate = directory + "/" + name;
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

namespace {

// Starts the program with its output discarded (dialog toolkits chatter on standard error) and
// waits for it; the exit code, or nullopt when it did not start or did not exit normally.
std::optional<int> RunAndWait(const std::string& path, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    int failed = posix_spawn(&child, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        return std::nullopt;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return std::nullopt;
        }
    }
    if (!WIFEXITED(status)) {
        return std::nullopt;
    }
    return WEXITSTATUS(status);
}

std::optional<int> ShowWith(DialogProgram program, const std::string& text,
                            const std::string& caption, unsigned style) {
    std::optional<std::string> path = FindOnSearchPath(DialogProgramName(program));
    if (!path) {
        return std::nullopt;
    }
    std::optional<int> exitCode = RunAndWait(*path, DialogArguments(program, text, caption, style));
    if (!exitCode) {
        return std::nullopt;
    }
    return AnswerFromExitCode(*exitCode, style);
}

bool ListsKde(const std::string& currentDesktop) {
    std::istringstream names(currentDesktop);
    std::string name;
    while (std::getline(names, name, ':')) {
        if (name == "KDE") {
            return true;
        }
    }
    return false;
}

}  // namespace

const char* DialogProgramName(DialogProgram program) {
    return program == DialogProgram::kKdialog ? "kdialog" : "zenity";
}

std::vector<DialogProgram> DialogProgramsToTry(const std::string& currentDesktop) {
    if (ListsKde(currentDesktop)) {
        return {DialogProgram::kKdialog, DialogProgram::kZenity};
    }
    return {DialogProgram::kZenity, DialogProgram::kKdialog};
}

std::vector<std::string> DialogArguments(DialogProgram program, const std::string& text,
                                         const std::string& caption, unsigned style) {
    if (program == DialogProgram::kKdialog) {
        return KdialogArguments(text, caption, style);
    }
    return ZenityArguments(text, caption, style);
}

// Both programs exit with 0 for OK or Yes and with 1 for No or a closed window; an OK box has
// only the one answer however it is closed, as on Windows. Anything else means no box was shown.
std::optional<int> AnswerFromExitCode(int exitCode, unsigned style) {
    if (exitCode != 0 && exitCode != 1) {
        return std::nullopt;
    }
    if (!HasYesNoButtons(style)) {
        return kAnswerOk;
    }
    return exitCode == 0 ? kAnswerYes : kAnswerNo;
}

namespace {

// Shows the box through the first dialog program found on PATH that can show it; nullopt when
// none could.
std::optional<int> ShowWithDialogProgram(const std::string& text, const std::string& caption,
                                         unsigned style) {
    const char* currentDesktop = std::getenv("XDG_CURRENT_DESKTOP");
    for (DialogProgram program : DialogProgramsToTry(currentDesktop ? currentDesktop : "")) {
        if (std::optional<int> answer = ShowWith(program, text, caption, style)) {
            return answer;
        }
    }
    return std::nullopt;
}

}  // namespace

}  // namespace posix

// --- The box -------------------------------------------------------------------------------------

namespace {

int AskOnTerminal(const std::string& text, const std::string& caption, unsigned style) {
    std::cerr << posix::FormatTerminalBox(text, caption, style);
    for (;;) {
        std::cerr << posix::FormatTerminalPrompt(style) << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) {
            std::cerr << posix::AnswerName(posix::DefaultAnswer(style)) << std::endl;
            return posix::DefaultAnswer(style);
        }
        if (std::optional<int> answer = posix::ParseTerminalAnswer(line, style)) {
            return *answer;
        }
    }
}

int ReportWithoutAsking(const std::string& text, const std::string& caption, unsigned style) {
    int answer = posix::DefaultAnswer(style);
    std::cerr << posix::FormatTerminalBox(text, caption, style)
              << posix::FormatTerminalPrompt(style) << posix::AnswerName(answer)
              << " (no terminal to ask)" << std::endl;
    return answer;
}

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned style) {
    StepAsideForMessageBox();
    if (posix::IsDisplayAvailable()) {
        if (std::optional<int> answer = posix::ShowWithDialogProgram(text, caption, style)) {
            return *answer;
        }
    }
    if (isatty(STDIN_FILENO) == 1) {
        return AskOnTerminal(text, caption, style);
    }
    return ReportWithoutAsking(text, caption, style);
}

}  // namespace updater::platform
