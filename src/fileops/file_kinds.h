#pragma once

#include "core/string.h"
#include "engine/procedure.h"

// The procedure kinds that change files: loaders and executors.
namespace updater {

Procedure* LoadCopy(const String& name);
bool ExecuteCopy(Procedure& procedure);
Procedure* LoadMove(const String& name);
bool ExecuteMove(Procedure& procedure);
Procedure* LoadDelete(const String& name);
bool ExecuteDelete(Procedure& procedure);
Procedure* LoadAttr(const String& name);
bool ExecuteAttr(Procedure& procedure);
Procedure* LoadMakeDir(const String& name);
bool ExecuteMakeDir(Procedure& procedure);
Procedure* LoadLink(const String& name);
bool ExecuteLink(Procedure& procedure);

}  // namespace updater
