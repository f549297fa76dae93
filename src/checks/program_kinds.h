#pragma once

#include <cstdint>

#include "core/string.h"
#include "engine/procedure.h"

// The procedure kinds that start programs and watch running ones: loaders and executors.
namespace updater {

Procedure* LoadLaunch(const String& name);
bool ExecuteLaunch(Procedure& procedure);
Procedure* LoadAppExist(const String& name);
bool ExecuteAppExist(Procedure& procedure);
Procedure* LoadWaitApp(const String& name);
bool ExecuteWaitApp(Procedure& procedure);

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
