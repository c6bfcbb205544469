// Built with -mavx2 -mbmi2 (VEX encoding, rorx for the rounds); called only after cpuid
// has found both and the system saves the AVX state.
#define KESTRAVA_SHA256_FN Sha256CompressAvx2OneAtATime
#include "update/sha256.h"

void Sha256CompressAvx2OneAtATime(std::uint32_t state[8], const std::uint8_t* blocks,
                                  std::size_t count);

#include "update/sha256_vector_schedule.h"

#if defined(__x86_64__) || defined(__i386__)

namespace {

// Each 128-bit half of a register holds four words of one block's schedule: the first
// block in the low half, the second in the high half. Every operation below works within
// halves, so one instruction serves both blocks.
inline __m256i RotateRight(__m256i x, int n) {
    return _mm256_or_si256(_mm256_srli_epi32(x, n), _mm256_slli_epi32(x, 32 - n));
}

inline __m256i SmallSigma0(__m256i x) {
    return _mm256_xor_si256(_mm256_xor_si256(RotateRight(x, 7), RotateRight(x, 18)),
                            _mm256_srli_epi32(x, 3));
}

inline __m256i SmallSigma1(__m256i x) {
    return _mm256_xor_si256(_mm256_xor_si256(RotateRight(x, 17), RotateRight(x, 19)),
                            _mm256_srli_epi32(x, 10));
}

inline __m256i NextFour(const __m256i x0, const __m256i x1, const __m256i x2, const __m256i x3) {
    const __m256i w15 = _mm256_alignr_epi8(x1, x0, 4);
    const __m256i w7 = _mm256_alignr_epi8(x3, x2, 4);
    const __m256i sum = _mm256_add_epi32(_mm256_add_epi32(x0, w7), SmallSigma0(w15));
    const __m256i low = _mm256_add_epi32(sum, SmallSigma1(_mm256_srli_si256(x3, 8)));
    return _mm256_add_epi32(low, SmallSigma1(_mm256_slli_si256(low, 8)));
}

inline void StoreWithConstants(std::uint32_t* first, std::uint32_t* second, __m256i w, int t) {
    const __m256i constants = _mm256_broadcastsi128_si256(
        _mm_load_si128(reinterpret_cast<const __m128i*>(&kSha256Rounds[t])));
    const __m256i sum = _mm256_add_epi32(w, constants);
    _mm_store_si128(reinterpret_cast<__m128i*>(first + t), _mm256_castsi256_si128(sum));
    _mm_store_si128(reinterpret_cast<__m128i*>(second + t), _mm256_extracti128_si256(sum, 1));
}

}  // namespace

// Blocks go in pairs: the schedule of both is computed beside the rounds of the first,
// and the second's rounds find theirs ready. The schedule's cost is halved per block.
void Sha256CompressAvx2(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    const __m256i byteSwap = _mm256_broadcastsi128_si256(
        _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3));
    alignas(16) std::uint32_t first[64];
    alignas(16) std::uint32_t second[64];
    for (; count >= 2; count -= 2, blocks += 128) {
        const auto load = [&](int i) {
            const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i));
            const __m128i high =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 64 + 16 * i));
            return _mm256_shuffle_epi8(
                _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1), byteSwap);
        };
        __m256i x0 = load(0), x1 = load(1), x2 = load(2), x3 = load(3);
        StoreWithConstants(first, second, x0, 0);
        StoreWithConstants(first, second, x1, 4);
        StoreWithConstants(first, second, x2, 8);
        StoreWithConstants(first, second, x3, 12);
        sha256_rounds::Rounds(state, first, [&](int t) {
            if (t >= 48) return;
            x0 = NextFour(x0, x1, x2, x3);
            StoreWithConstants(first, second, x0, t + 16);
            x1 = NextFour(x1, x2, x3, x0);
            StoreWithConstants(first, second, x1, t + 20);
            const __m256i rest0 = x2, rest1 = x3;
            x2 = x0;
            x3 = x1;
            x0 = rest0;
            x1 = rest1;
        });
        sha256_rounds::Rounds(state, second, [](int) {});
    }
    if (count != 0) Sha256CompressAvx2OneAtATime(state, blocks, count);
}

#else

void Sha256CompressAvx2(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    Sha256CompressPortable(state, blocks, count);
}

#endif
