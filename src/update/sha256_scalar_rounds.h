// The 64 rounds of SHA-256 over a prepared schedule (each word already plus its round
// constant), unrolled so that the eight working variables stay in registers. Included
// by each block function: compiled with that file's instruction set (rotations become
// rorx where BMI2 is allowed), and kept internal to it so that no other file links a
// copy built for another processor.
#pragma once

#include <cstdint>

namespace sha256_rounds {

static inline __attribute__((always_inline)) std::uint32_t Rotr(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

// Maj(a, b, c) = ((a ^ b) & (b ^ c)) ^ b, and this round's a ^ b is the next round's b ^ c:
// carried over in ab/bc (the two swap roles each round), it costs one xor instead of two.
#define KESTRAVA_SHA256_ROUND(a, b, c, d, e, f, g, h, wk, bc, ab)                       \
    do {                                                                                \
        const std::uint32_t t1 = (h) + (Rotr((e), 6) ^ Rotr((e), 11) ^ Rotr((e), 25)) + \
                                 (((e) & (f)) ^ (~(e) & (g))) + (wk);                   \
        (ab) = (a) ^ (b);                                                               \
        const std::uint32_t t2 =                                                        \
            (Rotr((a), 2) ^ Rotr((a), 13) ^ Rotr((a), 22)) + (((ab) & (bc)) ^ (b));     \
        (d) += t1;                                                                      \
        (h) = t1 + t2;                                                                  \
    } while (0)

// Four rounds, with the names turned by four for the next four.
#define KESTRAVA_SHA256_FOUR_ROUNDS(a, b, c, d, e, f, g, h, wk)         \
    do {                                                                \
        KESTRAVA_SHA256_ROUND(a, b, c, d, e, f, g, h, (wk)[0], bc, ab); \
        KESTRAVA_SHA256_ROUND(h, a, b, c, d, e, f, g, (wk)[1], ab, bc); \
        KESTRAVA_SHA256_ROUND(g, h, a, b, c, d, e, f, (wk)[2], bc, ab); \
        KESTRAVA_SHA256_ROUND(f, g, h, a, b, c, d, e, (wk)[3], ab, bc); \
    } while (0)

// beforeEight(t) runs ahead of rounds t to t+7: a caller that computes its schedule as
// it goes fills later words there, beside the rounds that need none of them.
template <typename Schedule>
static inline __attribute__((always_inline)) void Rounds(std::uint32_t state[8],
                                                         const std::uint32_t* wk,
                                                         Schedule&& beforeEight) {
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    std::uint32_t bc = b ^ c, ab;
    for (int t = 0; t < 64; t += 8) {
        beforeEight(t);
        KESTRAVA_SHA256_FOUR_ROUNDS(a, b, c, d, e, f, g, h, wk + t);
        KESTRAVA_SHA256_FOUR_ROUNDS(e, f, g, h, a, b, c, d, wk + t + 4);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

#undef KESTRAVA_SHA256_FOUR_ROUNDS
#undef KESTRAVA_SHA256_ROUND

}  // namespace sha256_rounds
