#pragma once

#include <cstdint>

#include "core/string.h"
#include "engine/procedure.h"

// The procedure kinds that test the machine, start and watch programs, or ask the user: loaders
// and executors, and the work they share with their tests.
namespace updater {

Procedure* LoadExist(const String& name);
bool ExecuteExist(Procedure& procedure);
Procedure* LoadDate(const String& name);
bool ExecuteDate(Procedure& procedure);
Procedure* LoadOsVer(const String& name);
bool ExecuteOsVer(Procedure& procedure);
Procedure* LoadMsgBox(const String& name);
bool ExecuteMsgBox(Procedure& procedure);
// Whether a MSGBOX TYPE names one of the four box types.
bool IsBoxType(const String& type);
Procedure* LoadCrc(const String& name);
bool ExecuteCrc(Procedure& procedure);
Procedure* LoadVerify(const String& name);
bool ExecuteVerify(Procedure& procedure);
Procedure* LoadLaunch(const String& name);
bool ExecuteLaunch(Procedure& procedure);
Procedure* LoadAppExist(const String& name);
bool ExecuteAppExist(Procedure& procedure);
Procedure* LoadWaitApp(const String& name);
bool ExecuteWaitApp(Procedure& procedure);

// True when the file's local last-write date is on or after the "year/month/day" date text;
// false also when the file cannot be opened for exclusive reading.
bool FileDateOnOrAfter(const char* path, const String& date);

// The command line a program item is started with: the item, one space, the parameters. An
// item that names an existing file and holds a space is put in double quotes, so that the system
// cannot take a part of it for the program; any other item stays as written.
String ProgramCommandLine(const String& program, const String& parameters);

// Starts one program in the directory that holds it and waits until it has ended (`waitForEnd`)
// or is ready for input. False, with nothing started, when the item has no usable directory part.
bool LaunchProgram(const String& program, const String& parameters, bool waitForEnd);

// The identifier of the first running process, other than the Updater's own, whose program file
// has this full path (letter case ignored); 0 when there is none.
uint32_t FindProcessByPath(const String& path);

}  // namespace updater
