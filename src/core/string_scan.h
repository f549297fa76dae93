#pragma once

#include <cstring>

// Scanning helpers shared by the String sources; not part of the String interface.
namespace updater::string_scan {

// The text of a block, or the empty text when an allocation failed and left it null.
inline const char* TextOf(const char* block) {
    return block != nullptr ? block : "";
}

// The first occurrence of `pattern` at or after `p`; null when there is none. An empty pattern is
// never found, so that no search loop stands still.
inline const char* FindFrom(const char* p, const char* pattern) {
    return *pattern != '\0' ? std::strstr(p, pattern) : nullptr;
}
inline char* FindFrom(char* p, const char* pattern) {
    return *pattern != '\0' ? std::strstr(p, pattern) : nullptr;
}

}  // namespace updater::string_scan
