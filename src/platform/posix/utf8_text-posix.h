#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The text inside this backend is UTF-8; settings files saved as UTF-16 are decoded into it here.
// Capacities of the Windows calls count characters, so these helpers count and cut by character:
// a byte that does not start a well-formed sequence counts as one character of its own, so invalid
// input passes through unchanged and is never split oddly.
namespace updater::platform::posix {

// How many characters `text` holds.
std::size_t CountCharacters(std::string_view text);

// The number of bytes taken by the first `characters` characters of `text` (all of it when it
// holds fewer).
std::size_t BytesOfCharacters(std::string_view text, std::size_t characters);

// UTF-16LE bytes (without their byte-order mark) as UTF-8, as Windows decodes them: an unpaired
// surrogate and an odd last byte each become U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);

// UTF-8 as UTF-16 code units, as Windows encodes it: a byte that starts no well-formed sequence
// becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace updater::platform::posix
