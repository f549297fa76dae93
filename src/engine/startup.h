#pragma once

#include "core/string.h"

namespace updater {

// The caption of message boxes until the script or the command line names one.
constexpr const char* kDefaultCaption = "ホルネア アップデータ";

// The [UPDATER] values of the running script.
extern String UpdaterName;
extern String UpdaterProc;
// PROGRESS, which scripts may leave out: then empty.
extern String UpdaterProgress;

// Everything up to and including the [UPDATER] section; false after a message.
bool StartUp(const char* commandLine);
// The caption after "/t" (or else "-t") as its first word; false when neither gives any text.
bool ParseCaptionSwitch(String& text, String& caption);
// The settings file beside the program: the program's extension replaced by "ini", or ".ini"
// appended to a program name without one.
String SettingsPathFor(String& modulePath);
// Fills the SymbolTable from [DEFINE] and the five built-ins; always true.
bool InitSymbols();
bool ReadUpdaterSection();
// Starts the progress reports the script asks for, then loads, runs and frees the top-level
// procedure list.
bool RunScript();

}  // namespace updater
