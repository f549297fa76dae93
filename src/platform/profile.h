#pragma once

#include <string>
#include <vector>

// The settings-file (INI) reader of the platform. Both backends answer as the Windows reader does:
// section and key names match without regard to case (surrounding spaces of the names asked for
// are ignored), only the first of duplicate sections and keys counts, keys and values are trimmed
// of spaces and tabs, one pair of matching outer quotes is removed from a value, and lines whose
// first non-blank character is ";" are comments. Capacities count characters, terminators
// included, as the Windows buffers do.
namespace updater::platform {

// The value of `key` in `section` of `file`, or `fallback` with its trailing spaces removed when
// the file, the section or the key is missing. A present key with nothing after "=" gives "".
// At most `capacity` - 1 characters are returned; a longer value is cut, never inside a character.
std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& fallback,
                              unsigned capacity);

// Every line of the first block of `section`, in file order: "key=value" trimmed around the first
// "=" with quotes kept, a line without "=" trimmed, comment lines included, blank lines left
// out. Empty when the file or the section is missing. When the lines and their terminators do not
// fit in `capacity` characters, the last line that fits only partly is cut and later lines are
// dropped.
std::vector<std::string> ReadProfileSection(const std::string& file, const std::string& section,
                                            unsigned capacity);

}  // namespace updater::platform
