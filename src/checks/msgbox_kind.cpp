#include "checks/check_kinds.h"
#include "engine/procedure_table.h"
#include "engine/record_loader.h"
#include "platform/dialog.h"
#include "settings/error_box.h"
#include "settings/message_box.h"

namespace updater {
namespace {

struct MSGBOX_INFO : Procedure {
    String flagCondition;
    String type;
    String text;
    String isAbort;
};

struct BoxType {
    const char* word;
    unsigned style;
};

// Tried in this order.
const BoxType kBoxTypes[] = {
    {"ERROR", platform::kStyleOk | platform::kStyleIconError},
    {"INFORMATION", platform::kStyleOk | platform::kStyleIconInformation},
    {"WARNING",
     platform::kStyleYesNo | platform::kStyleIconWarning | platform::kStyleDefaultButton2},
    {"QUESTION", platform::kStyleYesNo | platform::kStyleIconQuestion},
};

enum class Condition { kShow, kSkip, kFailed };

// A FLAG of a procedure name and 0 or 1 shows the box only on that outcome; anything shorter
// always shows it.
Condition CheckCondition(MSGBOX_INFO& record) {
    String& condition = record.flagCondition;
    if (condition.CountTokens(",") < 2)
        return Condition::kShow;
    const Procedure* target = FindNamedProcedure(condition.GetToken(0, ","), condition);
    if (target == nullptr)
        return Condition::kFailed;
    const bool matches = condition.GetToken(1, ",").ToInt() == (target->flag ? 1 : 0);
    return matches ? Condition::kShow : Condition::kSkip;
}

const BoxType* FindBoxType(const String& type) {
    for (const BoxType& boxType : kBoxTypes) {
        if (type.EqualsNoCase(boxType.word))
            return &boxType;
    }
    return nullptr;
}

bool IsPositive(int answer) {
    return answer == platform::kAnswerOk || answer == platform::kAnswerYes;
}

bool IsNegative(int answer) {
    return answer == platform::kAnswerCancel || answer == platform::kAnswerNo;
}

// Whether the run goes on after this answer.
bool GoesOn(MSGBOX_INFO& record, int answer) {
    if (IsPositive(answer))
        return record.isAbort.GetToken(0, ",").ToInt() == 0;
    if (IsNegative(answer))
        return record.isAbort.GetToken(1, ",").ToInt() == 0;
    return true;
}

}  // namespace

bool IsBoxType(const String& type) {
    return FindBoxType(type) != nullptr;
}

Procedure* LoadMsgBox(const String& name) {
    return LoadRecord<MSGBOX_INFO>(name, "MSGBOX_INFO",
                                   {{"FLAG", &MSGBOX_INFO::flagCondition},
                                    {"TYPE", &MSGBOX_INFO::type},
                                    {"TEXT", &MSGBOX_INFO::text},
                                    {"ISABORT", &MSGBOX_INFO::isAbort}});
}

bool ExecuteMsgBox(Procedure& procedure) {
    auto& record = static_cast<MSGBOX_INFO&>(procedure);
    const Condition condition = CheckCondition(record);
    if (condition != Condition::kShow)
        return condition == Condition::kSkip;
    const BoxType* boxType = FindBoxType(record.type);
    if (boxType == nullptr) {
        ShowError(kMsgBadSymbol, record.type.CStr());
        return false;
    }
    record.text.ReplaceAll("%n", "\n");
    record.text.ReplaceAll("%t", "\t");
    const int answer = ShowMessage(record.text, boxType->style);
    if (IsPositive(answer))
        record.flag = true;
    return GoesOn(record, answer);
}

}  // namespace updater
