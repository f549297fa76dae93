#include <windows.h>

#include "platform/dialog.h"
#include "platform/progress.h"
#include "platform/win32/internal-win32.h"

namespace updater::platform {

// The wide box shows the texts in every system language, whatever the ANSI code page.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned style) {
    StepAsideForMessageBox();
    const int answer =
        MessageBoxW(nullptr, win32::Widen(text).c_str(), win32::Widen(caption).c_str(), style);
    // A box that could not be created comes back as 0, or as -1 from the dialog underneath.
    return answer > 0 ? answer : kAnswerNone;
}

}  // namespace updater::platform
