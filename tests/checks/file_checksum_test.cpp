#include "checks/file_checksum.h"

#include <gtest/gtest.h>

#include <string>

#include "core/crc32.h"
#include "support/script_fixture.h"

namespace updater {
namespace {

class FileChecksumTest : public testing::ScriptTest {};

// Sizes on both sides of each block boundary: the pieces come in order, none larger than the
// block, and together they are the file; one block serves every file.
TEST_F(FileChecksumTest, ReadsWholeFilesInBlocksAcrossBoundaries) {
    Buffer block;
    for (const size_t size : {size_t{1}, size_t{kFileBlockSize} - 1, size_t{kFileBlockSize},
                              size_t{kFileBlockSize} + 1, 3 * size_t{kFileBlockSize} + 5}) {
        SCOPED_TRACE(size);
        std::string content(size, '\0');
        for (size_t i = 0; i < size; ++i)
            content[i] = static_cast<char>((i * 131 + i / 977) & 0xFF);
        WriteFile("data.bin", content);
        std::string read;
        ASSERT_TRUE(ReadWholeFile(EnginePath("data.bin").c_str(), block,
                                  [&read](const unsigned char* data, size_t count) {
                                      EXPECT_LE(count, size_t{kFileBlockSize});
                                      read.append(reinterpret_cast<const char*>(data), count);
                                  }));
        EXPECT_EQ(read, content);
        uint32_t crc = 0;
        ASSERT_TRUE(ReadFileCrc32(EnginePath("data.bin").c_str(), block, crc));
        EXPECT_EQ(crc, Crc32With(Crc32Method::kTable, 0, content.data(), content.size()));
        EXPECT_EQ(block.size, kFileBlockSize);
    }
}

}  // namespace
}  // namespace updater
