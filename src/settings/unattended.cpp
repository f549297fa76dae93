#include "settings/unattended.h"

#include <vector>

#include "core/string.h"
#include "platform/dialog.h"
#include "platform/system.h"

namespace updater {
namespace {

struct UnattendedAnswers {
    bool active = false;
    std::vector<String> answers;
    size_t next = 0;
};
UnattendedAnswers g_unattended;

bool IsYesNoBox(unsigned style) {
    return (style & platform::kStyleButtonMask) == platform::kStyleYesNo;
}

int AnswerFor(const String& word) {
    if (word.EqualsNoCase("ok"))
        return platform::kAnswerOk;
    if (word.EqualsNoCase("cancel"))
        return platform::kAnswerCancel;
    if (word.EqualsNoCase("yes"))
        return platform::kAnswerYes;
    if (word.EqualsNoCase("no"))
        return platform::kAnswerNo;
    return platform::kAnswerNone;
}

bool Fits(int answer, unsigned style) {
    if (IsYesNoBox(style))
        return answer == platform::kAnswerYes || answer == platform::kAnswerNo;
    return answer == platform::kAnswerOk;
}

}  // namespace

void StartUnattendedMode() {
    g_unattended = UnattendedAnswers();
    std::string list;
    if (!platform::GetEnvironmentText("UPDATER_ANSWERS", list))
        return;
    g_unattended.active = true;
    String text = list.c_str();
    const int count = text.CountTokens(",");
    for (int i = 0; i < count; ++i) {
        String answer = text.GetToken(i, ",");
        answer.Trim(" ");
        g_unattended.answers.push_back(answer);
    }
}

bool IsUnattended() {
    return g_unattended.active;
}

int DefaultAnswer(unsigned style) {
    if (!IsYesNoBox(style))
        return platform::kAnswerOk;
    return (style & platform::kStyleDefaultButton2) ? platform::kAnswerNo : platform::kAnswerYes;
}

int TakeUnattendedAnswer(unsigned style) {
    if (g_unattended.next >= g_unattended.answers.size())
        return DefaultAnswer(style);
    const int answer = AnswerFor(g_unattended.answers[g_unattended.next++]);
    return Fits(answer, style) ? answer : DefaultAnswer(style);
}

}  // namespace updater
