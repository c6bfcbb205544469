// The 64 round constants of SHA-256, shared by the portable and the hardware block
// functions; aligned for the hardware path's 16-byte loads.
#pragma once

#include <cstdint>

alignas(16) extern const std::uint32_t kSha256Rounds[64];
