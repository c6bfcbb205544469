// Built with -mavx2 -mbmi -mbmi2 (VEX encoding; andn and rorx for the rounds); called only
// after cpuid has found all three and the system saves the AVX state.
#include "hash/sha256_vector_schedule.h"

#ifdef KESTRAVA_SHA256_VECTOR

namespace {

// Each group of four round constants twice, for the two blocks of a pair: one addition
// and one store serve both blocks' words.
struct RoundConstantPairs {
    alignas(32) std::uint32_t words[128];
};

constexpr RoundConstantPairs PairRoundConstants() {
    RoundConstantPairs pairs{};
    for (int i = 0; i < 128; ++i) pairs.words[i] = kSha256Rounds[i / 8 * 4 + i % 4];
    return pairs;
}

constexpr RoundConstantPairs kRoundConstantPairs = PairRoundConstants();

}  // namespace

// Blocks go in pairs: the schedule of both is computed beside the rounds of the first,
// and the second's rounds find theirs ready. The schedule's cost is halved per block.
void Sha256CompressAvx2(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    const __m256i byteSwap = _mm256_broadcastsi128_si256(
        _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3));
    // Words t..t+3 of the first block, then of the second, at 2t.
    alignas(32) std::uint32_t pair[128];
    for (; count >= 2; count -= 2, blocks += 128) {
        const auto load = [&](int i) {
            const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i));
            const __m128i high =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 64 + 16 * i));
            return _mm256_shuffle_epi8(
                _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1), byteSwap);
        };
        sha256_vector::RoundsWithSchedule<8>(
            state, pair, load(0), load(1), load(2), load(3), [&](__m256i w, int t) {
                _mm256_store_si256(
                    reinterpret_cast<__m256i*>(pair + 2 * t),
                    _mm256_add_epi32(w, _mm256_load_si256(reinterpret_cast<const __m256i*>(
                                            kRoundConstantPairs.words + 2 * t))));
            });
        sha256_rounds::Rounds<8>(state, pair + 4);
    }
    sha256_vector::CompressOneAtATime(state, blocks, count);
}

#else

void Sha256CompressAvx2(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    Sha256CompressPortable(state, blocks, count);
}

#endif
