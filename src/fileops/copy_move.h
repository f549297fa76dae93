#pragma once

#include "core/string.h"
#include "engine/procedure.h"

// COPY and MOVE: single files, wildcard sets and whole trees, one FROM/TO pair per list item.
namespace updater {

// What the visitors of one walk need to place a visited entry: the number of leading path items
// that belong to the source root, and the directory that takes the rest.
struct TransferContext {
    int skipItems = 0;
    String targetDir;
};

// The work for one pair of items. The source is a directory (its contents go into `to`), a
// wildcard pattern ("*" in its last item; the last item of `to` is dropped) or a single file (`to`
// is the full destination name). Directories above the destination are created first.
bool CopyPath(const String& from, const String& to);
bool MovePath(const String& from, const String& to);

// WalkVisitor functions whose context is a TransferContext.
int CopyVisitor(const String& path, int kind, void* context);
int MoveVisitor(const String& path, int kind, void* context);

}  // namespace updater
