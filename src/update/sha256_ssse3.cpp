// Built with -mssse3; called only after cpuid has found SSSE3.
#define KESTRAVA_SHA256_FN Sha256CompressSsse3
#include "update/sha256_vector_schedule.h"
