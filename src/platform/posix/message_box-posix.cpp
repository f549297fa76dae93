#include "platform/posix/message_box-posix.h"

#include <algorithm>
#include <cctype>

#include "platform/dialog.h"

namespace updater::platform::posix {
namespace {

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

}  // namespace

bool HasYesNoButtons(unsigned style) {
    return (style & kButtonsMask) == kStyleYesNo;
}

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

}  // namespace updater::platform::posix
