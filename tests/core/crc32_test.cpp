#include "core/crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace updater {
namespace {

// Every way of computing the checksum against known values, then against one table look-up per
// byte at every length around the 16-byte slices and the 64-byte folding steps, at every
// alignment and from a running value: the tails, the single 16-byte folds and the four-lane loop.
TEST(Crc32, EveryMethodGivesTheStandardChecksum) {
    std::mt19937 generator(12345);
    std::vector<unsigned char> bytes(4096 + 64);
    for (unsigned char& byte : bytes)
        byte = static_cast<unsigned char>(generator());
    for (const Crc32Method method :
         {Crc32Method::kTable, Crc32Method::kSliced, Crc32Method::kFolded}) {
        if (!Crc32MethodAvailable(method))
            continue;
        SCOPED_TRACE(static_cast<int>(method));
        EXPECT_EQ(Crc32With(method, 0, "123456789", 9), 0xCBF43926u);
        EXPECT_EQ(Crc32With(method, 0, "", 0), 0u);
        EXPECT_EQ(Crc32With(method, 0, "The quick brown fox jumps over the lazy dog", 43),
                  0x414FA339u);
        for (size_t offset = 0; offset < 16; ++offset) {
            for (size_t size = 0; size <= 300; ++size) {
                const auto start = static_cast<uint32_t>(size * 0x9E3779B9u);
                ASSERT_EQ(Crc32With(method, start, &bytes[offset], size),
                          Crc32With(Crc32Method::kTable, start, &bytes[offset], size))
                    << "offset " << offset << ", size " << size;
            }
        }
        EXPECT_EQ(Crc32With(method, 0, &bytes[1], 4096 + 63),
                  Crc32With(Crc32Method::kTable, 0, &bytes[1], 4096 + 63));
    }
    EXPECT_EQ(Crc32(0, "123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32(Crc32(0, "1234", 4), "56789", 5), 0xCBF43926u);
}

}  // namespace
}  // namespace updater
