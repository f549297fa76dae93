#pragma once

#include "core/string.h"

namespace updater {

// The process-wide SymbolTable: entries name "=" value in the order they were added. A name
// includes its angle brackets and compares without regard to case; the first of equal names wins.
// A value ends at its second "=".

// Appends the [DEFINE] lines of `file` (those not beginning with ";") as entries; returns how many.
int ReadDefinitions(const String& file);
// Adds a symbol, or replaces the value of the first entry of that name in its place.
void SetSymbol(const char* name, const char* value);
// The value of the first entry named `name`; false, `out` unchanged, when there is none.
bool LookupSymbol(const String& name, String& out);
// Expands every entry's value once, in table order.
void ExpandDefinitions();
// Empties the table (a new run in the same process, as tests do).
void ClearSymbols();

}  // namespace updater
