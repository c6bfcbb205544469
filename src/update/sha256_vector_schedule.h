// The SHA-256 block function with the message schedule computed four words at a time in
// SSE registers and the rounds in scalar code. Included by the SSSE3 and the AVX2 files,
// each compiling it for its own instruction set under its own name (KESTRAVA_SHA256_FN).
#include "update/sha256.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include "update/sha256_rounds.h"
#include "update/sha256_scalar_rounds.h"

namespace {

inline __m128i RotateRight(__m128i x, int n) {
    return _mm_or_si128(_mm_srli_epi32(x, n), _mm_slli_epi32(x, 32 - n));
}

inline __m128i SmallSigma0(__m128i x) {
    return _mm_xor_si128(_mm_xor_si128(RotateRight(x, 7), RotateRight(x, 18)),
                         _mm_srli_epi32(x, 3));
}

inline __m128i SmallSigma1(__m128i x) {
    return _mm_xor_si128(_mm_xor_si128(RotateRight(x, 17), RotateRight(x, 19)),
                         _mm_srli_epi32(x, 10));
}

// W[t..t+3] = W[t-16..] + s0(W[t-15..]) + W[t-7..] + s1(W[t-2..]); the last two words
// need s1 of the first two, so s1 is taken in two halves.
inline __m128i NextFour(const __m128i x0, const __m128i x1, const __m128i x2, const __m128i x3) {
    const __m128i w15 = _mm_alignr_epi8(x1, x0, 4);
    const __m128i w7 = _mm_alignr_epi8(x3, x2, 4);
    const __m128i sum = _mm_add_epi32(_mm_add_epi32(x0, w7), SmallSigma0(w15));
    const __m128i low = _mm_add_epi32(sum, SmallSigma1(_mm_srli_si128(x3, 8)));
    return _mm_add_epi32(low, SmallSigma1(_mm_slli_si128(low, 8)));
}

inline void StoreWithConstants(std::uint32_t* wk, __m128i w, int t) {
    _mm_store_si128(
        reinterpret_cast<__m128i*>(wk + t),
        _mm_add_epi32(w, _mm_load_si128(reinterpret_cast<const __m128i*>(&kSha256Rounds[t]))));
}

}  // namespace

// The schedule of the next words is computed beside the rounds that use the words before
// them: the two are independent, so the processor runs the vector and the scalar work at
// once.
void KESTRAVA_SHA256_FN(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    const __m128i byteSwap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    alignas(16) std::uint32_t wk[64];
    for (; count > 0; --count, blocks += 64) {
        const auto load = [&](int i) {
            return _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)), byteSwap);
        };
        __m128i x0 = load(0), x1 = load(1), x2 = load(2), x3 = load(3);
        StoreWithConstants(wk, x0, 0);
        StoreWithConstants(wk, x1, 4);
        StoreWithConstants(wk, x2, 8);
        StoreWithConstants(wk, x3, 12);
        sha256_rounds::Rounds(state, wk, [&](int t) {
            if (t >= 48) return;
            x0 = NextFour(x0, x1, x2, x3);
            StoreWithConstants(wk, x0, t + 16);
            x1 = NextFour(x1, x2, x3, x0);
            StoreWithConstants(wk, x1, t + 20);
            const __m128i rest0 = x2, rest1 = x3;
            x2 = x0;
            x3 = x1;
            x0 = rest0;
            x1 = rest1;
        });
    }
}

#else

void KESTRAVA_SHA256_FN(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    Sha256CompressPortable(state, blocks, count);
}

#endif
