#include "checks/file_checksum.h"

#include "core/crc32.h"
#include "platform/file_system.h"

namespace updater {

bool ReadWholeFile(const char* path, Buffer& block,
                   const std::function<void(const unsigned char* data, size_t size)>& take) {
    platform::UnsharedFile file;
    uint64_t size = 0;
    if (!file.Open(path) || !file.GetSize(size) || size == 0)
        return false;
    if (block.size != kFileBlockSize && !block.Alloc(kFileBlockSize))
        return false;
    // To the end of the file rather than to the size first seen: on Linux nothing keeps another
    // process from changing a file while it is read, and what is there is what is checked.
    for (;;) {
        size_t count = 0;
        if (!file.Read(block.GetData(), block.size, count))
            return false;
        if (count == 0)
            return true;
        take(block.GetData(), count);
    }
}

bool ReadFileCrc32(const char* path, Buffer& block, uint32_t& crc) {
    uint32_t running = 0;
    if (!ReadWholeFile(path, block, [&running](const unsigned char* data, size_t size) {
            running = Crc32(running, data, size);
        }))
        return false;
    crc = running;
    return true;
}

}  // namespace updater
