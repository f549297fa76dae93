#include "settings/error_box.h"

#include <cstdarg>

#include "platform/dialog.h"
#include "platform/progress.h"
#include "resources/message_table.h"
#include "settings/message_box.h"

namespace updater {
namespace {
bool g_errorShown = false;
ErrorCollector g_collector = nullptr;

String FormattedMessage(unsigned id, va_list args) {
    const char* format = MessageText(id);
    String text;
    text.FormatV(format ? format : "", args);
    return text;
}

}  // namespace

void ShowError(unsigned id, ...) {
    va_list args;
    va_start(args, id);
    const String text = FormattedMessage(id, args);
    va_end(args);
    if (g_collector != nullptr) {
        g_collector(text.CStr());
        return;
    }
    // Once the person asked the run to stop, a failure is the work giving up as asked: the run
    // ends as aborted, without a box.
    if (platform::StopRequested())
        return;
    g_errorShown = true;
    ShowMessage(text, platform::kStyleIconError);
}

std::string ErrorText(unsigned id, ...) {
    va_list args;
    va_start(args, id);
    const String text = FormattedMessage(id, args);
    va_end(args);
    return text.CStr();
}

void CollectErrors(ErrorCollector collector) {
    g_collector = collector;
}

bool ErrorWasShown() {
    return g_errorShown;
}
void ForgetShownErrors() {
    g_errorShown = false;
}

}  // namespace updater
