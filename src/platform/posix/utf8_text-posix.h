#pragma once

#include <cstddef>
#include <string_view>

// Capacities of the Windows calls count characters, while the text inside is UTF-8 bytes. These
// helpers count and cut by character. A byte that does not start a well-formed sequence counts as
// one character of its own, so invalid input passes through unchanged and is never split oddly.
namespace updater::platform::posix {

// How many characters `text` holds.
std::size_t CountCharacters(std::string_view text);

// The number of bytes taken by the first `characters` characters of `text` (all of it when it
// holds fewer).
std::size_t BytesOfCharacters(std::string_view text, std::size_t characters);

}  // namespace updater::platform::posix
