// The SHA-256 message schedule computed four words at a time in vector registers, beside
// scalar rounds. Included by the SSSE3 and the AVX2 files, each compiling it for its own
// instruction set. A 128-bit register holds four words of one block; a 256-bit one holds
// four words of each of two blocks, one block a half, and every operation below works
// within halves, so one instruction serves both blocks.
#pragma once

#include "hash/sha256.h"

#if defined(__x86_64__) || defined(__i386__)
#define KESTRAVA_SHA256_VECTOR 1
#include <immintrin.h>

#include "hash/sha256_rounds.h"
#include "hash/sha256_scalar_rounds.h"

namespace sha256_vector {

inline __m128i Add(__m128i x, __m128i y) { return _mm_add_epi32(x, y); }
inline __m128i Or(__m128i x, __m128i y) { return _mm_or_si128(x, y); }
inline __m128i Xor(__m128i x, __m128i y) { return _mm_xor_si128(x, y); }
inline __m128i ShiftRight(__m128i x, int n) { return _mm_srli_epi32(x, n); }
inline __m128i ShiftLeft(__m128i x, int n) { return _mm_slli_epi32(x, n); }
// Words 1-4 of the eight in (high, low).
inline __m128i FromSecondWord(__m128i high, __m128i low) { return _mm_alignr_epi8(high, low, 4); }
inline __m128i ShiftPairsRight(__m128i x, int n) { return _mm_srli_epi64(x, n); }
// (w2, w2, w3, w3) and (w0, w0, w1, w1)
inline __m128i HighWordsPaired(__m128i x) { return _mm_shuffle_epi32(x, 0xfa); }
inline __m128i LowWordsPaired(__m128i x) { return _mm_shuffle_epi32(x, 0x50); }
// Words 0 and 2 moved to 0 and 1, or to 2 and 3, and zeros in the other two.
inline __m128i ToLowWords() {
    return _mm_set_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 11, 10, 9, 8, 3, 2, 1, 0);
}
inline __m128i ToHighWords() {
    return _mm_set_epi8(11, 10, 9, 8, 3, 2, 1, 0, -1, -1, -1, -1, -1, -1, -1, -1);
}
inline __m128i PairResultsLow(__m128i x) { return _mm_shuffle_epi8(x, ToLowWords()); }
inline __m128i PairResultsHigh(__m128i x) { return _mm_shuffle_epi8(x, ToHighWords()); }

#ifdef __AVX2__
inline __m256i Add(__m256i x, __m256i y) { return _mm256_add_epi32(x, y); }
inline __m256i Or(__m256i x, __m256i y) { return _mm256_or_si256(x, y); }
inline __m256i Xor(__m256i x, __m256i y) { return _mm256_xor_si256(x, y); }
inline __m256i ShiftRight(__m256i x, int n) { return _mm256_srli_epi32(x, n); }
inline __m256i ShiftLeft(__m256i x, int n) { return _mm256_slli_epi32(x, n); }
inline __m256i FromSecondWord(__m256i high, __m256i low) {
    return _mm256_alignr_epi8(high, low, 4);
}
inline __m256i ShiftPairsRight(__m256i x, int n) { return _mm256_srli_epi64(x, n); }
inline __m256i HighWordsPaired(__m256i x) { return _mm256_shuffle_epi32(x, 0xfa); }
inline __m256i LowWordsPaired(__m256i x) { return _mm256_shuffle_epi32(x, 0x50); }
inline __m256i PairResultsLow(__m256i x) {
    return _mm256_shuffle_epi8(x, _mm256_broadcastsi128_si256(ToLowWords()));
}
inline __m256i PairResultsHigh(__m256i x) {
    return _mm256_shuffle_epi8(x, _mm256_broadcastsi128_si256(ToHighWords()));
}
#endif

template <typename V>
inline V RotateRight(V x, int n) {
    return Or(ShiftRight(x, n), ShiftLeft(x, 32 - n));
}

template <typename V>
inline V SmallSigma0(V x) {
    return Xor(Xor(RotateRight(x, 7), RotateRight(x, 18)), ShiftRight(x, 3));
}

// s1 of two words, each given twice as a 64-bit pair: shifting the pair right rotates the
// word in its low half, so each rotation is one shift (seven operations, not ten).
// Results stand in words 0 and 2; the caller's shuffle moves them where they belong.
template <typename V>
inline V SmallSigma1OfPairs(V pairs) {
    return Xor(Xor(ShiftPairsRight(pairs, 17), ShiftPairsRight(pairs, 19)), ShiftRight(pairs, 10));
}

// W[t..t+3] = W[t-16..] + s0(W[t-15..]) + W[t-7..] + s1(W[t-2..]); the last two words
// need s1 of the first two, so s1 is taken in two halves.
template <typename V>
inline V NextFour(const V x0, const V x1, const V x2, const V x3) {
    const V sum = Add(Add(x0, FromSecondWord(x3, x2)), SmallSigma0(FromSecondWord(x1, x0)));
    const V low = Add(sum, PairResultsLow(SmallSigma1OfPairs(HighWordsPaired(x3))));
    return Add(low, PairResultsHigh(SmallSigma1OfPairs(LowWordsPaired(low))));
}

// The 64 rounds over wk, whose first 16 words x0..x3 hold; store(w, t) keeps words t..t+3
// (plus their constants) where Rounds<kGroupStride> reads them. The next words are
// computed beside the rounds that use the words before them: the two are independent, so
// the processor runs the vector and the scalar work at once.
template <int kGroupStride, typename V, typename Store>
inline __attribute__((always_inline)) void RoundsWithSchedule(std::uint32_t state[8],
                                                              const std::uint32_t* wk, V x0, V x1,
                                                              V x2, V x3, Store&& store) {
    store(x0, 0);
    store(x1, 4);
    store(x2, 8);
    store(x3, 12);
    sha256_rounds::Rounds<kGroupStride>(state, wk, [&](int t) {
        const V next = NextFour(x0, x1, x2, x3);
        store(next, t + 16);
        x0 = x1;
        x1 = x2;
        x2 = x3;
        x3 = next;
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
        RoundsWithSchedule<4>(state, wk, load(0), load(1), load(2), load(3), [&](__m128i w, int t) {
            _mm_store_si128(
                reinterpret_cast<__m128i*>(wk + t),
                _mm_add_epi32(w,
                              _mm_load_si128(reinterpret_cast<const __m128i*>(&kSha256Rounds[t]))));
        });
    }
}

}  // namespace sha256_vector

#endif
