#pragma once

#include <string>

namespace updater {

// Runs the Updater on the command line that the system handed the program (without the program's
// own name) and returns the process exit code.
int RunUpdater(const std::string& commandLine);

}  // namespace updater
