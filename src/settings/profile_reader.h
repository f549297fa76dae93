#pragma once

#include "core/string.h"

namespace updater {

// Text that the platform hands back for a key that is absent.
constexpr const char* kNoData = "NO_DATA";
// Values are read whole up to this many characters; a longer one is refused, never cut: a path
// cut short can name a whole directory where the script named one file in it.
constexpr unsigned kMaxValueLength = 32767;
constexpr unsigned kSectionCapacity = 0x7fff;

// One raw read: no expansion, no message. False when the key or its section is absent, or when
// the value is longer than kMaxValueLength; `out` is then unchanged.
bool ReadProfileText(const String& file, const char* section, const char* key, String& out);
// One raw read as a decimal number; true with `out` unwritten when the text is no number.
bool ReadProfileInt(const String& file, const char* section, const char* key, int& out);
// The required-key readers of the settings file: the text is expanded; absence shows message 2.
bool ReadKey(const char* section, const char* key, String& out);
bool ReadIntKey(const char* section, const char* key, int& out);
// Appends the section's lines that do not begin with ";" to `table`, separated by line feeds, and
// returns how many it appended.
int ReadSection(const String& file, const char* section, String& table);

}  // namespace updater
