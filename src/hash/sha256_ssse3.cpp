// Built with -mssse3; called only after cpuid has found SSSE3.
#include "hash/sha256_vector_schedule.h"

void Sha256CompressSsse3(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
#ifdef KESTRAVA_SHA256_VECTOR
    sha256_vector::CompressOneAtATime(state, blocks, count);
#else
    Sha256CompressPortable(state, blocks, count);
#endif
}
