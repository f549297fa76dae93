#pragma once

namespace updater {

// Reads a decimal number the way the settings format writes them: leading white space, an
// optional sign, digits; the rest is ignored. False, with `value` untouched, when no digit comes.
// A number beyond the range of int is clamped to it.
bool ParseDecimal(const char* text, int& value);

// Reads hexadecimal digits after a leading "0x" (lower-case x, nothing before it) as 32 bits.
// False, with `value` untouched, when the prefix or the digits are missing. A number beyond 32
// bits reads as 0xFFFFFFFF.
bool ParseHex(const char* text, unsigned& value);

}  // namespace updater
