#pragma once

#include <optional>
#include <string>

// What a message box asks, in words a terminal can show: the buttons, the default answer and
// the reading of a typed answer. Every way of showing a box uses these, so they all agree.
namespace updater::platform::posix {

// The bits of a style that choose its icon.
constexpr unsigned kIconMask = 0xF0;

// True for a Yes/No box, false for a box with OK only.
bool HasYesNoButtons(unsigned style);

// The answer of the default button: OK for an OK box, Yes for a Yes/No box, No when the second
// button is the default.
int DefaultAnswer(unsigned style);

// "error", "question", "warning", "information", or "" without an icon.
std::string IconName(unsigned style);

// "OK", "Yes", "No" or "Cancel" for an answer.
std::string AnswerName(int answer);

// The caption line with the icon, then the text exactly as given, ending with a line break.
std::string FormatTerminalBox(const std::string& text, const std::string& caption, unsigned style);

// The buttons with the default one in brackets, ready for the answer: "[Yes] / No > ".
std::string FormatTerminalPrompt(unsigned style);

// The answer for a typed line: an empty line takes the default; a Yes/No box takes "y", "yes",
// "n" or "no" in any letter case, an OK box takes anything. nullopt asks again.
std::optional<int> ParseTerminalAnswer(const std::string& line, unsigned style);

}  // namespace updater::platform::posix
