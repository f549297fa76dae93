#include "core/crc32.h"

#include <array>

#include "core/crc32_folding.h"

namespace updater {
namespace {

constexpr uint32_t kPolynomial = 0xEDB88320;
constexpr int kSlices = 16;

using Crc32Tables = std::array<std::array<uint32_t, 256>, kSlices>;

// Table 0 is the byte-at-a-time table; table k advances a byte followed by k zero bytes, so that
// sixteen look-ups together advance sixteen bytes. Built by the compiler: nothing to build or
// guard at run time.
constexpr Crc32Tables MakeTables() {
    Crc32Tables tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t reg = i;
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1) != 0 ? (reg >> 1) ^ kPolynomial : reg >> 1;
        tables[0][i] = reg;
    }
    for (int k = 1; k < kSlices; ++k) {
        for (uint32_t i = 0; i < 256; ++i) {
            const uint32_t previous = tables[k - 1][i];
            tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFF];
        }
    }
    return tables;
}

constexpr Crc32Tables kTables = MakeTables();

uint32_t ByTable(uint32_t reg, const unsigned char* data, size_t size) {
    for (size_t i = 0; i < size; ++i)
        reg = (reg >> 8) ^ kTables[0][(reg ^ data[i]) & 0xFF];
    return reg;
}

// Little-endian whatever the processor, as the reflected register consumes bytes.
uint32_t Load32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint32_t Slice(uint32_t word, int table) {
    return kTables[table][word & 0xFF] ^ kTables[table - 1][(word >> 8) & 0xFF] ^
           kTables[table - 2][(word >> 16) & 0xFF] ^ kTables[table - 3][word >> 24];
}

uint32_t BySlices(uint32_t reg, const unsigned char* data, size_t size) {
    for (; size >= kSlices; data += kSlices, size -= kSlices) {
        reg = Slice(Load32(data) ^ reg, 15) ^ Slice(Load32(data + 4), 11) ^
              Slice(Load32(data + 8), 7) ^ Slice(Load32(data + 12), 3);
    }
    return ByTable(reg, data, size);
}

// Folding takes the whole 16-byte blocks once there are four of them; slices do the rest.
uint32_t ByFolding(uint32_t reg, const unsigned char* data, size_t size) {
    if (size >= 64) {
        const size_t blocks = size & ~size_t{15};
        reg = crc32_folding::Fold(reg, data, blocks);
        data += blocks;
        size -= blocks;
    }
    return BySlices(reg, data, size);
}

uint32_t Advance(Crc32Method method, uint32_t reg, const unsigned char* data, size_t size) {
    switch (method) {
        case Crc32Method::kTable:
            return ByTable(reg, data, size);
        case Crc32Method::kSliced:
            return BySlices(reg, data, size);
        case Crc32Method::kFolded:
            return ByFolding(reg, data, size);
    }
    return reg;
}

}  // namespace

bool Crc32MethodAvailable(Crc32Method method) {
    return method != Crc32Method::kFolded || crc32_folding::Available();
}

uint32_t Crc32With(Crc32Method method, uint32_t crc, const void* data, size_t size) {
    return ~Advance(method, ~crc, static_cast<const unsigned char*>(data), size);
}

uint32_t Crc32(uint32_t crc, const void* data, size_t size) {
    // The processor does not change while the program runs: asked once.
    static const Crc32Method kFastest =
        crc32_folding::Available() ? Crc32Method::kFolded : Crc32Method::kSliced;
    return Crc32With(kFastest, crc, data, size);
}

}  // namespace updater
