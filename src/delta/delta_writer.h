// Making deltas: the target cut into blocks, each compressed by zstd with the window of
// the base that holds most of its content as the frame's reference.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "delta/delta_format.h"

struct DeltaOptions {
    // Chosen on bench/delta.bench's corpus. The windows hold only the pieces a block's
    // anchors find, so their bound barely matters (2 to 16 MiB differ by a few bytes in
    // a thousand); blocks of 1 MiB apply in 8 MiB and about a tenth faster than blocks
    // of 4 MiB (13 MiB), but add a frame's overhead every MiB: 15% on the release of
    // scattered edits against 10%. Size is what players feel.
    std::uint32_t blockSize = 4u << 20;
    std::uint32_t windowSize = 8u << 20;
    int level = 19;
    // Blocks are independent: a few threads compress them at once (0: the processors).
    unsigned threads = 0;
    // Called with the target bytes done so far and their total, from the calling thread.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

// The delta that rebuilds target from base. Raises DeltaError for options outside the
// format's bounds.
std::string MakeDelta(std::string_view base, std::string_view target,
                      const DeltaOptions& options = {});

// Whether a delta is worth carrying instead of the whole target: below kDeltaShare of
// what the target compresses to (at zstd's default level, about what a package's deflate
// makes of it), the rest of the saving not worth a player's apply time.
inline constexpr double kDeltaShare = 0.6;
bool DeltaPays(std::string_view target, const std::string& delta);
