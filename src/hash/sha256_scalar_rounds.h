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

struct WorkingVariables {
    std::uint32_t a, b, c, d, e, f, g, h;
    std::uint32_t bc, ab;
};

static inline WorkingVariables Begin(const std::uint32_t state[8]) {
    return {state[0], state[1], state[2],
            state[3], state[4], state[5],
            state[6], state[7], state[1] ^ state[2],
            0};
}

static inline void AddInto(std::uint32_t state[8], const WorkingVariables& v) {
    state[0] += v.a;
    state[1] += v.b;
    state[2] += v.c;
    state[3] += v.d;
    state[4] += v.e;
    state[5] += v.f;
    state[6] += v.g;
    state[7] += v.h;
}

// The words of rounds 4i to 4i+3 stand at wk + i * kGroupStride: 4 for one block alone,
// 8 where two blocks' schedules are interleaved four words at a time.
template <int kGroupStride, typename Schedule>
static inline __attribute__((always_inline)) void SixteenRounds(WorkingVariables& v,
                                                                const std::uint32_t* group, int t,
                                                                Schedule&& beforeFour) {
    std::uint32_t &a = v.a, &b = v.b, &c = v.c, &d = v.d, &e = v.e, &f = v.f, &g = v.g, &h = v.h;
    std::uint32_t &bc = v.bc, &ab = v.ab;
    beforeFour(t);
    KESTRAVA_SHA256_FOUR_ROUNDS(a, b, c, d, e, f, g, h, group);
    beforeFour(t + 4);
    KESTRAVA_SHA256_FOUR_ROUNDS(e, f, g, h, a, b, c, d, group + kGroupStride);
    beforeFour(t + 8);
    KESTRAVA_SHA256_FOUR_ROUNDS(a, b, c, d, e, f, g, h, group + 2 * kGroupStride);
    beforeFour(t + 12);
    KESTRAVA_SHA256_FOUR_ROUNDS(e, f, g, h, a, b, c, d, group + 3 * kGroupStride);
}

// The 64 rounds, with beforeFour(t) run ahead of rounds t to t+3 for t below 48: a caller
// that computes its schedule as it goes fills later words there, a little at a time,
// beside the rounds that need none of them. The last sixteen rounds stand apart so that
// no round asks whether schedule is left to compute.
template <int kGroupStride = 4, typename Schedule>
static inline __attribute__((always_inline)) void Rounds(std::uint32_t state[8],
                                                         const std::uint32_t* wk,
                                                         Schedule&& beforeFour) {
    WorkingVariables v = Begin(state);
    const std::uint32_t* group = wk;
    for (int t = 0; t < 48; t += 16, group += 4 * kGroupStride) {
        SixteenRounds<kGroupStride>(v, group, t, beforeFour);
    }
    SixteenRounds<kGroupStride>(v, group, 48, [](int) {});
    AddInto(state, v);
}

// The 64 rounds over a schedule computed in full beforehand.
template <int kGroupStride = 4>
static inline __attribute__((always_inline)) void Rounds(std::uint32_t state[8],
                                                         const std::uint32_t* wk) {
    WorkingVariables v = Begin(state);
    for (int group = 0; group < 16; group += 4) {
        SixteenRounds<kGroupStride>(v, wk + group * kGroupStride, 0, [](int) {});
    }
    AddInto(state, v);
}

#undef KESTRAVA_SHA256_FOUR_ROUNDS
#undef KESTRAVA_SHA256_ROUND

}  // namespace sha256_rounds
