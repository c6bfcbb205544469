// How far a long step of a publish has come, for a display: reported often, on the
// thread that runs the step; the display picks what it shows.
#pragma once

#include <cstdint>
#include <functional>

struct PublishProgress {
    const char* step = "";  // "hashing", "writing"
    std::uint64_t files = 0;
    std::uint64_t totalFiles = 0;
    std::uint64_t bytes = 0;
    std::uint64_t totalBytes = 0;
};

using ProgressSink = std::function<void(const PublishProgress&)>;
