#include "engine/startup.h"

#include <cstring>
#include <string>

#include "core/system_queries.h"
#include "engine/procedure_table.h"
#include "engine/run_journal.h"
#include "platform/system.h"
#include "settings/error_box.h"
#include "settings/expansion.h"
#include "settings/process_values.h"
#include "settings/profile_reader.h"
#include "settings/progress_reports.h"
#include "settings/run_log.h"
#include "settings/symbol_table.h"

namespace updater {

String UpdaterName;
String UpdaterProc;
String UpdaterProgress;

namespace {

constexpr int kCommonDesktopFolder = 25;
constexpr int kDesktopFolder = 16;
constexpr int kCommonProgramsFolder = 23;
constexpr int kProgramsFolder = 2;

// A folder that cannot be found stands for nothing rather than for a leftover path.
String SpecialFolderOrEmpty(int id) {
    String path;
    if (!GetSpecialFolder(nullptr, path, id))
        path = "";
    return path;
}

}  // namespace

bool ParseCaptionSwitch(String& text, String& caption) {
    caption = text.GetToken(1, "/t");
    if (caption.GetLength() == 0) {
        caption = text.GetToken(1, "-t");
        if (caption.GetLength() == 0)
            return false;
    }
    caption = caption.GetWord(0);
    return true;
}

String SettingsPathFor(String& modulePath) {
    // Only a dot inside the program's own name starts its extension; a directory name's dot or a
    // leading dot does not.
    const String name = modulePath.GetToken(-1, "\\");
    const char* dot = std::strrchr(name.CStr(), '.');
    if (dot == nullptr || dot == name.CStr())
        return modulePath.Concat(".ini");
    String path = modulePath;
    path.ReplaceTokens(-1, -1, ".", "ini");
    return path;
}

bool InitSymbols() {
    ClearSymbols();
    ReadDefinitions(SettingsPath);
    SetSymbol("<Win>", platform::GetWindowsDirectoryPath().c_str());
    SetSymbol("<Sys>", platform::GetSystemDirectoryPath().c_str());
    SetSymbol("<Src>", ModulePath.GetTokens(0, -2, "\\").CStr());
    SetSymbol("<Desktop>",
              SpecialFolderOrEmpty(IsNtPlatform() ? kCommonDesktopFolder : kDesktopFolder).CStr());
    SetSymbol(
        "<Programs>",
        SpecialFolderOrEmpty(IsNtPlatform() ? kCommonProgramsFolder : kProgramsFolder).CStr());
    ExpandDefinitions();
    return true;
}

bool ReadUpdaterSection() {
    if (!ReadKey("UPDATER", "NAME", UpdaterName) || !ReadKey("UPDATER", "PROC", UpdaterProc))
        return false;
    UpdaterProgress = "";
    if (ReadProfileText(SettingsPath, "UPDATER", "PROGRESS", UpdaterProgress))
        ExpandValue(UpdaterProgress);
    return true;
}

bool StartUp(const char* commandLine) {
    CommandLine = commandLine;
    if (!ParseCaptionSwitch(CommandLine, Caption))
        Caption = kDefaultCaption;
    ModulePath = platform::GetModulePath().c_str();
    SettingsPath = SettingsPathFor(ModulePath);
    LogStart(Caption.CStr(), SettingsPath.CStr());
    if (!PathExists(SettingsPath.CStr())) {
        ShowError(kMsgFileNotFound, SettingsPath.CStr());
        return false;
    }
    InitSymbols();
    if (!ReadUpdaterSection())
        return false;
    if (UpdaterName.GetLength() > 0)
        Caption = UpdaterName;
    return true;
}

// The progress display starts once the journal is open: it offers to stop only a run that can be
// undone.
bool RunScript() {
    StartProgressReports(UpdaterProgress, Caption, RunIsUndoable());
    const int count = UpdaterProc.CountTokens(",");
    if (count == 0) {
        ShowError(kMsgBadItemCount, "UPDATER", "PROC");
        return false;
    }
    return LoadAndRunList(UpdaterProc, count);
}

}  // namespace updater
