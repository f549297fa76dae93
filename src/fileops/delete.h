#pragma once

#include "core/string.h"
#include "engine/procedure.h"

// DELETE: files, wildcard sets and whole trees.
namespace updater {

// The work for one FILE item: a file, every entry a pattern matches (directories whole), or a
// directory with everything inside it. A missing path counts as deleted. Read-only entries are
// not made writable: they stop the deletion.
bool DeletePath(const String& path);
// The WalkVisitor of DELETE; it takes no context.
int DeleteVisitor(const String& path, int kind, void* context);

}  // namespace updater
