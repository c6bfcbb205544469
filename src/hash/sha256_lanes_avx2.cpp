// Eight messages at once: a register holds one working variable (or schedule word) of all
// eight, one message a 32-bit lane, so every instruction serves eight blocks. Built with
// -mavx2; called only after cpuid has found it (see Sha256LanesPay).
#include "hash/sha256.h"
#include "hash/sha256_rounds.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace {

inline __m256i Add(__m256i x, __m256i y) { return _mm256_add_epi32(x, y); }
inline __m256i Xor(__m256i x, __m256i y) { return _mm256_xor_si256(x, y); }

inline __m256i RotateRight(__m256i x, int n) {
    return _mm256_or_si256(_mm256_srli_epi32(x, n), _mm256_slli_epi32(x, 32 - n));
}

inline __m256i BigSigma0(__m256i x) {
    return Xor(Xor(RotateRight(x, 2), RotateRight(x, 13)), RotateRight(x, 22));
}

inline __m256i BigSigma1(__m256i x) {
    return Xor(Xor(RotateRight(x, 6), RotateRight(x, 11)), RotateRight(x, 25));
}

inline __m256i SmallSigma0(__m256i x) {
    return Xor(Xor(RotateRight(x, 7), RotateRight(x, 18)), _mm256_srli_epi32(x, 3));
}

inline __m256i SmallSigma1(__m256i x) {
    return Xor(Xor(RotateRight(x, 17), RotateRight(x, 19)), _mm256_srli_epi32(x, 10));
}

inline __m256i Choose(__m256i e, __m256i f, __m256i g) {
    return Xor(_mm256_and_si256(e, f), _mm256_andnot_si256(e, g));
}

// Round t, with the names turned by the caller: it changes d and h only. c enters through
// bc, this round's b ^ c, which the last round had as a ^ b.
inline __attribute__((always_inline)) void Round(__m256i a, __m256i b, __m256i /*c*/, __m256i& d,
                                                 __m256i e, __m256i f, __m256i g, __m256i& h,
                                                 __m256i w, int t, __m256i& bc) {
    const __m256i ab = Xor(a, b);
    const __m256i k = _mm256_set1_epi32(kSha256Rounds[t]);
    const __m256i t1 = Add(Add(h, Add(w, k)), Add(BigSigma1(e), Choose(e, f, g)));
    d = Add(d, t1);
    h = Add(t1, Add(BigSigma0(a), Xor(_mm256_and_si256(ab, bc), b)));
    bc = ab;
}

// Word j of row i becomes word i of row j: eight messages' words in, one word of each
// message a register out (and back, for the states).
inline void Transpose(__m256i rows[8]) {
    __m256i pairs[8];
    for (int i = 0; i < 8; i += 2) {
        pairs[i] = _mm256_unpacklo_epi32(rows[i], rows[i + 1]);
        pairs[i + 1] = _mm256_unpackhi_epi32(rows[i], rows[i + 1]);
    }
    __m256i quads[8];
    for (int i = 0; i < 8; i += 4) {
        quads[i] = _mm256_unpacklo_epi64(pairs[i], pairs[i + 2]);
        quads[i + 1] = _mm256_unpackhi_epi64(pairs[i], pairs[i + 2]);
        quads[i + 2] = _mm256_unpacklo_epi64(pairs[i + 1], pairs[i + 3]);
        quads[i + 3] = _mm256_unpackhi_epi64(pairs[i + 1], pairs[i + 3]);
    }
    for (int j = 0; j < 4; ++j) {
        rows[j] = _mm256_permute2x128_si256(quads[j], quads[j + 4], 0x20);
        rows[j + 4] = _mm256_permute2x128_si256(quads[j], quads[j + 4], 0x31);
    }
}

}  // namespace

void Sha256CompressLanesAvx2(std::uint32_t states[8][8], const std::uint8_t* const blocks[8],
                             std::size_t count) {
    const __m256i byteSwap = _mm256_broadcastsi128_si256(
        _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3));
    __m256i state[8];
    for (int lane = 0; lane < 8; ++lane)
        state[lane] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(states[lane]));
    Transpose(state);

    for (std::size_t n = 0; n < count; ++n) {
        // The whole schedule first: the rounds then need registers for the working
        // variables only, and read each word from memory.
        __m256i w[64];
        for (int half = 0; half < 2; ++half) {
            __m256i* const words = w + 8 * half;
            for (int lane = 0; lane < 8; ++lane) {
                const std::uint8_t* from = blocks[lane] + 64 * n + 32 * half;
                words[lane] = _mm256_shuffle_epi8(
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)), byteSwap);
            }
            Transpose(words);
        }
        for (int t = 16; t < 64; ++t) {
            w[t] =
                Add(Add(w[t - 16], SmallSigma0(w[t - 15])), Add(w[t - 7], SmallSigma1(w[t - 2])));
        }

        __m256i a = state[0], b = state[1], c = state[2], d = state[3];
        __m256i e = state[4], f = state[5], g = state[6], h = state[7];
        __m256i bc = Xor(b, c);
        for (int t = 0; t < 64; t += 8) {
            Round(a, b, c, d, e, f, g, h, w[t], t, bc);
            Round(h, a, b, c, d, e, f, g, w[t + 1], t + 1, bc);
            Round(g, h, a, b, c, d, e, f, w[t + 2], t + 2, bc);
            Round(f, g, h, a, b, c, d, e, w[t + 3], t + 3, bc);
            Round(e, f, g, h, a, b, c, d, w[t + 4], t + 4, bc);
            Round(d, e, f, g, h, a, b, c, w[t + 5], t + 5, bc);
            Round(c, d, e, f, g, h, a, b, w[t + 6], t + 6, bc);
            Round(b, c, d, e, f, g, h, a, w[t + 7], t + 7, bc);
        }
        state[0] = Add(state[0], a);
        state[1] = Add(state[1], b);
        state[2] = Add(state[2], c);
        state[3] = Add(state[3], d);
        state[4] = Add(state[4], e);
        state[5] = Add(state[5], f);
        state[6] = Add(state[6], g);
        state[7] = Add(state[7], h);
    }

    Transpose(state);
    for (int lane = 0; lane < 8; ++lane)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(states[lane]), state[lane]);
}

#else

void Sha256CompressLanesAvx2(std::uint32_t states[8][8], const std::uint8_t* const blocks[8],
                             std::size_t count) {
    for (int lane = 0; lane < 8; ++lane) Sha256CompressPortable(states[lane], blocks[lane], count);
}

#endif
