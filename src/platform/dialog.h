#pragma once

#include <string>

namespace updater::platform {

// Answers of a message box, as Windows numbers them; kAnswerNone when no box could be shown.
constexpr int kAnswerNone = 0;
constexpr int kAnswerOk = 1;
constexpr int kAnswerCancel = 2;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

// Message-box styles the Updater uses: buttons in the low nibble, icon in the next, default button.
constexpr unsigned kStyleOk = 0x0;
constexpr unsigned kStyleYesNo = 0x4;
constexpr unsigned kStyleIconError = 0x10;
constexpr unsigned kStyleIconQuestion = 0x20;
constexpr unsigned kStyleIconWarning = 0x30;
constexpr unsigned kStyleIconInformation = 0x40;
constexpr unsigned kStyleDefaultButton2 = 0x100;
// The part of a style that chooses the buttons.
constexpr unsigned kStyleButtonMask = 0xF;

// Shows a modal message box with no owner window and waits for the answer. The text and caption
// are shown exactly as given, whichever way the box is put in front of the user.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned style);

}  // namespace updater::platform
