#pragma once

#include "core/string.h"

namespace updater {

// Resolves the marks of a value read from the settings file: symbol references, function calls
// and ".." items.
void ExpandValue(String& text);

// Each rewrites `text` in place and tells whether it changed anything.
// Replaces the outermost "<name>" blocks by the values of their symbols. The passes are counted
// before the first replacement, so a reference inside an inserted value takes the place of a
// later one, and there is no recursion.
bool ExpandSymbols(String& text);
// Replaces the outermost "{function\argument}" blocks by their results, counted the same way.
bool ExpandFunctions(String& text);
// Removes the item before each ".." item, once, left to right, never touching items 0 and 1.
bool FoldParentDirs(String& text);

}  // namespace updater
