#pragma once

namespace updater {

// The program's message table: the printf-style text of message `id` (UTF-8), or null when the
// table has no such id.
const char* MessageText(unsigned id);

}  // namespace updater
