// The SHA-256 block function on the x86 SHA extensions. Built with -msha -msse4.1;
// called only after cpuid has found them (see Sha256HardwareAvailable).
#include "hash/sha256.h"
#include "hash/sha256_rounds.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

void Sha256CompressHardware(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);

    // The instructions want the state as ABEF and CDGH.
    __m128i tmp =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0])), 0xB1);
    __m128i state1 =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4])), 0x1B);
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);

    for (; count > 0; --count, blocks += 64) {
        const __m128i savedAbef = state0;
        const __m128i savedCdgh = state1;
        __m128i w[16];
#pragma GCC unroll 16
        for (int i = 0; i < 16; ++i) {
            if (i < 4) {
                w[i] = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)), byteSwap);
            } else {
                const __m128i partial = _mm_add_epi32(_mm_sha256msg1_epu32(w[i - 4], w[i - 3]),
                                                      _mm_alignr_epi8(w[i - 1], w[i - 2], 4));
                w[i] = _mm_sha256msg2_epu32(partial, w[i - 1]);
            }
            __m128i message = _mm_add_epi32(
                w[i], _mm_load_si128(reinterpret_cast<const __m128i*>(&kSha256Rounds[4 * i])));
            state1 = _mm_sha256rnds2_epu32(state1, state0, message);
            message = _mm_shuffle_epi32(message, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, message);
        }
        state0 = _mm_add_epi32(state0, savedAbef);
        state1 = _mm_add_epi32(state1, savedCdgh);
    }

    tmp = _mm_shuffle_epi32(state0, 0x1B);
    state1 = _mm_shuffle_epi32(state1, 0xB1);
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);
    state1 = _mm_alignr_epi8(state1, tmp, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), state1);
}

#else

void Sha256CompressHardware(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    Sha256CompressPortable(state, blocks, count);
}

#endif
