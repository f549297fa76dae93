#include <unistd.h>

#include <iostream>
#include <optional>
#include <string>

#include "platform/dialog.h"
#include "platform/posix/dialog_program-posix.h"
#include "platform/posix/display-posix.h"
#include "platform/posix/message_box-posix.h"

// A message box on Linux: a desktop dialog when there is a display to show it on, else a prompt
// on the terminal, else the box is written to standard error and takes its default button, as
// nobody is there to answer it. The prompt goes to standard error so that it is seen even when
// the output is redirected.
namespace updater::platform {
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
