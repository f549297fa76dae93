#pragma once

#include "core/string.h"
#include "engine/procedure.h"

// The procedure kinds that test the machine or ask the user: loaders and executors.
namespace updater {

Procedure* LoadExist(const String& name);
bool ExecuteExist(Procedure& procedure);
Procedure* LoadDate(const String& name);
bool ExecuteDate(Procedure& procedure);
Procedure* LoadOsVer(const String& name);
bool ExecuteOsVer(Procedure& procedure);
Procedure* LoadMsgBox(const String& name);
bool ExecuteMsgBox(Procedure& procedure);
Procedure* LoadCrc(const String& name);
bool ExecuteCrc(Procedure& procedure);
Procedure* LoadVerify(const String& name);
bool ExecuteVerify(Procedure& procedure);

// True when the file's local last-write date is on or after the "year/month/day" date text;
// false also when the file cannot be opened for exclusive reading.
bool FileDateOnOrAfter(const char* path, const String& date);

}  // namespace updater
