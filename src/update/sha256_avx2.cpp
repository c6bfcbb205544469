// Built with -mavx2 -mbmi2 (VEX encoding, rorx for the rounds); called only after cpuid
// has found both and the system saves the AVX state.
#define KESTRAVA_SHA256_FN Sha256CompressAvx2
#include "update/sha256_vector_schedule.h"
