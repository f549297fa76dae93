#pragma once

#include <cstddef>
#include <cstdint>

// The carry-less-multiplication path of Crc32; kept apart because only some processors have it.
namespace updater::crc32_folding {

// Whether this processor multiplies without carries (and has the vector registers for it).
bool Available();

// Advances the inverted CRC register over `size` bytes, which must be at least 64 and a multiple
// of 16. Only to be called when Available().
uint32_t Fold(uint32_t reg, const unsigned char* data, size_t size);

}  // namespace updater::crc32_folding
