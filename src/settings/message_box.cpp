#include "settings/message_box.h"

#include "platform/dialog.h"
#include "settings/process_values.h"
#include "settings/run_log.h"
#include "settings/unattended.h"

namespace updater {

int ShowMessage(const String& text, unsigned style) {
    const int answer = IsUnattended()
                           ? TakeUnattendedAnswer(style)
                           : platform::ShowMessageBox(text.CStr(), Caption.CStr(), style);
    LogBox(Caption.CStr(), text.CStr(), style, answer);
    return answer;
}

}  // namespace updater
