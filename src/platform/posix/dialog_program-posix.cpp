#include "platform/posix/dialog_program-posix.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "platform/dialog.h"
#include "platform/posix/message_box-posix.h"

extern char** environ;

namespace updater::platform::posix {
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

}  // namespace updater::platform::posix
