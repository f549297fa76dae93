#pragma once

#include <cstdint>

#include "core/string.h"
#include "engine/procedure.h"

// ATTR: sets the whole attribute value of files, named or matched by a pattern.
namespace updater {

// The work for one FILE item: every file the path or pattern matches in its one directory gets
// `value`; directories keep theirs. A missing path or an unmatched pattern fails.
bool SetPathAttributes(const String& path, uint32_t value);
// The WalkVisitor of ATTR; its context points to the uint32_t value.
int AttributeVisitor(const String& path, int kind, void* context);

}  // namespace updater
