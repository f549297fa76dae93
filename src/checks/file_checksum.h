#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/buffer.h"

namespace updater {

// The size of the pieces a file is read in: memory stays the same whatever the file's size.
constexpr unsigned kFileBlockSize = 256 * 1024;

// Reads a whole file, piece by piece through `block` (made kFileBlockSize long when it is not,
// and refilled for every piece), and hands each piece to `take` in order. The file is opened
// without sharing. False when it cannot be opened, is empty, the block cannot be had, or a read
// fails; pieces already handed over stay handed over.
bool ReadWholeFile(const char* path, Buffer& block,
                   const std::function<void(const unsigned char* data, size_t size)>& take);

// The CRC-32 of a whole file, read through `block`; false, as ReadWholeFile.
bool ReadFileCrc32(const char* path, Buffer& block, uint32_t& crc);

}  // namespace updater
