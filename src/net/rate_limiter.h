// One speed limit over every transfer of the process, however many run at once.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/worker_threads.h"

class RateLimiter {
public:
    // 0: no limit. Applies from the next bytes on.
    void SetLimit(std::uint64_t bytesPerSecond) { limit_.store(bytesPerSecond); }
    std::uint64_t limit() const { return limit_.load(); }

    // Waits until count more bytes may pass; false when the player asked to stop meanwhile.
    bool Admit(std::uint64_t count);

private:
    using Clock = std::chrono::steady_clock;
    std::atomic<std::uint64_t> limit_{0};
    Mutex mutex_;
    Clock::time_point nextFree_{};
};
