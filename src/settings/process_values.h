#pragma once

#include "core/string.h"

namespace updater {

// The process-wide values of a run: created empty before the entry point, set by start-up.
extern String CommandLine;   // the command line after the program's own name
extern String Caption;       // the caption of every message box
extern String ModulePath;    // full path of the program's own file
extern String SettingsPath;  // path of the settings file

}  // namespace updater
