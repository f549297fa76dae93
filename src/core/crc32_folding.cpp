#include "core/crc32_folding.h"

// The folding needs the carry-less multiply of x86 processors (PCLMULQDQ). The program is built
// for any x86, so whether this processor has it is asked at run time, and only the functions that
// use it are compiled for it. Other processors take the sliced path.
#if defined(__x86_64__) || defined(__i386__)

#include <cpuid.h>
#include <immintrin.h>

namespace updater::crc32_folding {
namespace {

// Each constant is x^n mod P for the CRC polynomial P, bit-reflected and shifted left by one, as
// the reflected register needs: n = 4*128+32 and 4*128-32 fold 64 bytes ahead, 128+32 and 128-32
// fold 16 bytes ahead, 64 folds 64 bits to 32. The last pair serves the Barrett reduction:
// floor(x^64 / P) and P itself, both reflected over 33 bits.
constexpr uint64_t kFold64Low = 0x154442bd4;
constexpr uint64_t kFold64High = 0x1c6e41596;
constexpr uint64_t kFold16Low = 0x1751997d0;
constexpr uint64_t kFold16High = 0x0ccaa009e;
constexpr uint64_t kFold8 = 0x163cd6124;
constexpr uint64_t kQuotient = 0x1f7011641;
constexpr uint64_t kPolynomial = 0x1db710641;

// A 32-bit build runs on a stack aligned to 4 bytes only; the vector code realigns its own.
#define UPDATER_FOLDING [[gnu::target("pclmul,sse2"), gnu::force_align_arg_pointer]]

UPDATER_FOLDING inline __m128i Pair(uint64_t low, uint64_t high) {
    return _mm_set_epi32(static_cast<int>(high >> 32), static_cast<int>(high & 0xFFFFFFFF),
                         static_cast<int>(low >> 32), static_cast<int>(low & 0xFFFFFFFF));
}

UPDATER_FOLDING inline __m128i Load(const unsigned char* data) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
}

// x times the constants (low half by low, high half by high), added to `next`: x moved forward
// by the distance the constants stand for.
UPDATER_FOLDING inline __m128i Fold(__m128i x, __m128i constants, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(x, constants, 0x00);
    const __m128i high = _mm_clmulepi64_si128(x, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

}  // namespace

bool Available() {
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    // False on a processor too old to answer at all.
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0)
        return false;
    return (ecx & bit_PCLMUL) != 0 && (edx & bit_SSE2) != 0;
}

UPDATER_FOLDING uint32_t Fold(uint32_t reg, const unsigned char* data, size_t size) {
    const __m128i fold64 = Pair(kFold64Low, kFold64High);
    const __m128i fold16 = Pair(kFold16Low, kFold16High);
    const __m128i fold8 = Pair(kFold8, 0);
    const __m128i barrett = Pair(kPolynomial, kQuotient);
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);

    // Four lanes of 16 bytes, each moved 64 bytes ahead per step, so the multiplications of one
    // step do not wait for each other.
    __m128i x0 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x1 = Load(data + 16);
    __m128i x2 = Load(data + 32);
    __m128i x3 = Load(data + 48);
    for (data += 64, size -= 64; size >= 64; data += 64, size -= 64) {
        x0 = Fold(x0, fold64, Load(data));
        x1 = Fold(x1, fold64, Load(data + 16));
        x2 = Fold(x2, fold64, Load(data + 32));
        x3 = Fold(x3, fold64, Load(data + 48));
    }
    x0 = Fold(x0, fold16, x1);
    x0 = Fold(x0, fold16, x2);
    x0 = Fold(x0, fold16, x3);
    for (; size >= 16; data += 16, size -= 16)
        x0 = Fold(x0, fold16, Load(data));

    // 128 bits to 64, then to 32, then the remainder by Barrett reduction.
    x0 = _mm_xor_si128(_mm_clmulepi64_si128(x0, fold16, 0x10), _mm_srli_si128(x0, 8));
    x0 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x0, low32), fold8, 0x00),
                       _mm_srli_si128(x0, 4));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x0, low32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
    x0 = _mm_xor_si128(x0, t);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x0, 4)));
}

}  // namespace updater::crc32_folding

#else

namespace updater::crc32_folding {

bool Available() {
    return false;
}

uint32_t Fold(uint32_t reg, const unsigned char*, size_t) {
    return reg;
}

}  // namespace updater::crc32_folding

#endif
