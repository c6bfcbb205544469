// The SHA-256 message schedule computed four words at a time in vector registers, beside
// scalar rounds. Included by the SSSE3 and the AVX2 files, each compiling it for its own
// instruction set. A 128-bit register holds four words of one block; a 256-bit one holds
// four words of each of two blocks, one block a half, and every operation below works
// within halves, so one instruction serves both blocks.
#pragma once

#include "update/sha256.h"

#if defined(__x86_64__) || defined(__i386__)
#define KESTRAVA_SHA256_VECTOR 1
#include <immintrin.h>

#include "update/sha256_rounds.h"
#include "update/sha256_scalar_rounds.h"

namespace sha256_vector {

inline __m128i Add(__m128i x, __m128i y) { return _mm_add_epi32(x, y); }
inline __m128i Or(__m128i x, __m128i y) { return _mm_or_si128(x, y); }
inline __m128i Xor(__m128i x, __m128i y) { return _mm_xor_si128(x, y); }
inline __m128i ShiftRight(__m128i x, int n) { return _mm_srli_epi32(x, n); }
inline __m128i ShiftLeft(__m128i x, int n) { return _mm_slli_epi32(x, n); }
// Words 1-4 of the eight in (high, low).
inline __m128i FromSecondWord(__m128i high, __m128i low) { return _mm_alignr_epi8(high, low, 4); }
inline __m128i HighPairDown(__m128i x) { return _mm_srli_si128(x, 8); }
inline __m128i LowPairUp(__m128i x) { return _mm_slli_si128(x, 8); }

#ifdef __AVX2__
inline __m256i Add(__m256i x, __m256i y) { return _mm256_add_epi32(x, y); }
inline __m256i Or(__m256i x, __m256i y) { return _mm256_or_si256(x, y); }
inline __m256i Xor(__m256i x, __m256i y) { return _mm256_xor_si256(x, y); }
inline __m256i ShiftRight(__m256i x, int n) { return _mm256_srli_epi32(x, n); }
inline __m256i ShiftLeft(__m256i x, int n) { return _mm256_slli_epi32(x, n); }
inline __m256i FromSecondWord(__m256i high, __m256i low) {
    return _mm256_alignr_epi8(high, low, 4);
}
inline __m256i HighPairDown(__m256i x) { return _mm256_srli_si256(x, 8); }
inline __m256i LowPairUp(__m256i x) { return _mm256_slli_si256(x, 8); }
#endif

template <typename V>
inline V RotateRight(V x, int n) {
    return Or(ShiftRight(x, n), ShiftLeft(x, 32 - n));
}

template <typename V>
inline V SmallSigma0(V x) {
    return Xor(Xor(RotateRight(x, 7), RotateRight(x, 18)), ShiftRight(x, 3));
}

template <typename V>
inline V SmallSigma1(V x) {
    return Xor(Xor(RotateRight(x, 17), RotateRight(x, 19)), ShiftRight(x, 10));
}

// W[t..t+3] = W[t-16..] + s0(W[t-15..]) + W[t-7..] + s1(W[t-2..]); the last two words
// need s1 of the first two, so s1 is taken in two halves.
template <typename V>
inline V NextFour(const V x0, const V x1, const V x2, const V x3) {
    const V sum = Add(Add(x0, FromSecondWord(x3, x2)), SmallSigma0(FromSecondWord(x1, x0)));
    const V low = Add(sum, SmallSigma1(HighPairDown(x3)));
    return Add(low, SmallSigma1(LowPairUp(low)));
}

// The 64 rounds over wk, whose first 16 words x0..x3 hold; store(w, t) keeps words t..t+3
// (plus their constants) where the rounds find them. The next words are computed beside
// the rounds that use the words before them: the two are independent, so the processor
// runs the vector and the scalar work at once.
template <typename V, typename Store>
inline __attribute__((always_inline)) void RoundsWithSchedule(std::uint32_t state[8],
                                                              const std::uint32_t* wk, V x0, V x1,
                                                              V x2, V x3, Store&& store) {
    store(x0, 0);
    store(x1, 4);
    store(x2, 8);
    store(x3, 12);
    sha256_rounds::Rounds(state, wk, [&](int t) {
        if (t >= 48) return;
        x0 = NextFour(x0, x1, x2, x3);
        store(x0, t + 16);
        x1 = NextFour(x1, x2, x3, x0);
        store(x1, t + 20);
        const V rest0 = x2, rest1 = x3;
        x2 = x0;
        x3 = x1;
        x0 = rest0;
        x1 = rest1;
    });
}

// One block at a time, four words a register.
inline __attribute__((always_inline)) void CompressOneAtATime(std::uint32_t state[8],
                                                              const std::uint8_t* blocks,
                                                              std::size_t count) {
    const __m128i byteSwap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    alignas(16) std::uint32_t wk[64];
    for (; count > 0; --count, blocks += 64) {
        const auto load = [&](int i) {
            return _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)), byteSwap);
        };
        RoundsWithSchedule(state, wk, load(0), load(1), load(2), load(3), [&](__m128i w, int t) {
            _mm_store_si128(
                reinterpret_cast<__m128i*>(wk + t),
                _mm_add_epi32(w,
                              _mm_load_si128(reinterpret_cast<const __m128i*>(&kSha256Rounds[t]))));
        });
    }
}

}  // namespace sha256_vector

#endif
