#pragma once

#include <string>

namespace updater {

// Check mode: with UPDATER_CHECK=1 the Updater starts as usual and then, instead of running,
// loads every list the script can reach and reports its problems and plans. It is the one
// process-wide addition to the engine: while it runs, load errors are collected, not shown.

// Whether UPDATER_CHECK asks for a check; read when the run starts.
bool CheckRequested();
// Starts up, checks the script without showing a box, starting a program or changing a file, and
// returns the exit code: 0 when no error was found, 1 otherwise.
int CheckUpdater(const std::string& commandLine);

}  // namespace updater
