#include "core/crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace updater {
namespace {

const Crc32Method kMethods[] = {Crc32Method::kTable, Crc32Method::kSliced, Crc32Method::kFolded};

std::vector<unsigned char> RandomBytes(size_t size) {
    std::mt19937 generator(12345);
    std::vector<unsigned char> bytes(size);
    for (unsigned char& byte : bytes)
        byte = static_cast<unsigned char>(generator());
    return bytes;
}

TEST(Crc32, KnownVectorsByEveryMethod) {
    const char* digits = "123456789";
    const std::vector<unsigned char> zeros(4096, 0);
    const std::vector<unsigned char> ones(4096, 0xFF);
    for (const Crc32Method method : kMethods) {
        if (!Crc32MethodAvailable(method))
            continue;
        SCOPED_TRACE(static_cast<int>(method));
        EXPECT_EQ(Crc32With(method, 0, digits, 9), 0xCBF43926u);
        EXPECT_EQ(Crc32With(method, 0, "", 0), 0u);
        EXPECT_EQ(Crc32With(method, 0, "a", 1), 0xE8B7BE43u);
        EXPECT_EQ(Crc32With(method, 0, "The quick brown fox jumps over the lazy dog", 43),
                  0x414FA339u);
        EXPECT_EQ(Crc32With(method, 0, zeros.data(), zeros.size()), 0xC71C0011u);
        EXPECT_EQ(Crc32With(method, 0, ones.data(), ones.size()), 0xF154670Au);
    }
    EXPECT_EQ(Crc32(0, digits, 9), 0xCBF43926u);
}

// Every length around the 16-byte slices and the 64-byte folding steps, at every alignment, and
// from a running value: the tails, the single 16-byte folds and the four-lane loop all agree with
// one table look-up per byte.
TEST(Crc32, EveryMethodAgreesWithTheTable) {
    const std::vector<unsigned char> bytes = RandomBytes(4096 + 64);
    for (const Crc32Method method : {Crc32Method::kSliced, Crc32Method::kFolded}) {
        if (!Crc32MethodAvailable(method))
            continue;
        SCOPED_TRACE(static_cast<int>(method));
        for (size_t offset = 0; offset < 16; ++offset) {
            for (size_t size = 0; size <= 300; ++size) {
                const uint32_t start = static_cast<uint32_t>(size * 0x9E3779B9u);
                ASSERT_EQ(Crc32With(method, start, &bytes[offset], size),
                          Crc32With(Crc32Method::kTable, start, &bytes[offset], size))
                    << "offset " << offset << ", size " << size;
            }
        }
        for (const size_t size : {1000, 1024, 4095, 4096, 4096 + 63}) {
            EXPECT_EQ(Crc32With(method, 0, &bytes[1], size),
                      Crc32With(Crc32Method::kTable, 0, &bytes[1], size))
                << "size " << size;
        }
    }
}

TEST(Crc32, RunningFormChainsPieces) {
    const std::vector<unsigned char> bytes = RandomBytes(1000);
    const uint32_t whole = Crc32(0, bytes.data(), bytes.size());
    for (size_t split = 0; split <= bytes.size(); split += 37) {
        const uint32_t first = Crc32(0, bytes.data(), split);
        EXPECT_EQ(Crc32(first, &bytes[split], bytes.size() - split), whole) << split;
    }
}

}  // namespace
}  // namespace updater
