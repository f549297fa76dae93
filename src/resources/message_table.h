#pragma once

#include "platform/progress.h"

namespace updater {

// The program's message table: the printf-style text of message `id` (UTF-8), or null when the
// table has no such id.
const char* MessageText(unsigned id);

// The words that tell the person at the machine what a long procedure is doing, in the language
// of the messages (UTF-8).
const char* ProgressText(platform::ProgressWork work);
// The progress window's Cancel button, and what it shows once that was pressed.
const char* ProgressCancelText();
const char* ProgressStoppingText();

}  // namespace updater
