#pragma once

#include <optional>
#include <string>
#include <vector>

// Message boxes through a dialog program of the desktop (zenity or kdialog), started directly
// with its arguments, never through a shell, so the text reaches it unchanged.
namespace updater::platform::posix {

enum class DialogProgram { kZenity, kKdialog };

// The program's file name, as looked up on PATH.
const char* DialogProgramName(DialogProgram program);

// The programs to try, best first: kdialog first on a KDE desktop ($XDG_CURRENT_DESKTOP, a
// colon-separated list), zenity first elsewhere.
std::vector<DialogProgram> DialogProgramsToTry(const std::string& currentDesktop);

// The arguments after the program's name that show the box: its caption, its text as plain
// text, the icon and buttons of the style and, where the program allows, the default button.
std::vector<std::string> DialogArguments(DialogProgram program, const std::string& text,
                                         const std::string& caption, unsigned style);

// The answer that an exit code stands for; nullopt when the program did not show the box.
std::optional<int> AnswerFromExitCode(int exitCode, unsigned style);

// Shows the box through the first dialog program found on PATH that can show it; nullopt when
// none could.
std::optional<int> ShowWithDialogProgram(const std::string& text, const std::string& caption,
                                         unsigned style);

}  // namespace updater::platform::posix
