#include "settings/error_box.h"

#include <cstdarg>

#include "platform/dialog.h"
#include "resources/message_table.h"
#include "settings/message_box.h"

namespace updater {
namespace {
bool g_errorShown = false;
}  // namespace

void ShowError(unsigned id, ...) {
    const char* format = MessageText(id);
    String text;
    va_list args;
    va_start(args, id);
    text.FormatV(format ? format : "", args);
    va_end(args);
    g_errorShown = true;
    ShowMessage(text, platform::kStyleIconError);
}

bool ErrorWasShown() {
    return g_errorShown;
}
void ForgetShownErrors() {
    g_errorShown = false;
}

}  // namespace updater
