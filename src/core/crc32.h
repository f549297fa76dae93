#pragma once

#include <cstddef>
#include <cstdint>

namespace updater {

// The standard CRC-32 of ISO-HDLC and IEEE 802.3 (reflected polynomial 0xEDB88320, register
// starting at all ones, inverted at the end), in running form: `crc` is the checksum of what came
// before (0 for nothing), so Crc32(Crc32(0, a), b) is the checksum of a followed by b. The fastest
// way this processor offers is chosen on the first call.
uint32_t Crc32(uint32_t crc, const void* data, size_t size);

// The ways of computing it, all giving the same result: one table look-up per byte, sixteen
// bytes at a time through sixteen tables, and carry-less multiplication folding 64 bytes a step
// where the processor has it.
enum class Crc32Method { kTable, kSliced, kFolded };

// Whether this processor can use the method.
bool Crc32MethodAvailable(Crc32Method method);
// Crc32 by one method only; the method must be available.
uint32_t Crc32With(Crc32Method method, uint32_t crc, const void* data, size_t size);

}  // namespace updater
