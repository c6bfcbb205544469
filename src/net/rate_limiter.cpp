#include "net/rate_limiter.h"

#include <algorithm>

#include "platform/stop_request.h"

namespace {

// What an idle line may send at once: enough to even out a late wake-up, little enough
// that the limit holds over any second.
constexpr std::chrono::milliseconds kBurst{100};
constexpr std::chrono::milliseconds kLongestNap{50};

}  // namespace

bool RateLimiter::Admit(std::uint64_t count) {
    const std::uint64_t limit = limit_.load();
    if (limit == 0) return !StopRequested();
    Clock::time_point due;
    {
        const MutexLock lock(mutex_);
        const Clock::time_point now = Clock::now();
        nextFree_ = std::max(nextFree_, now - kBurst) +
                    std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double>(static_cast<double>(count) / limit));
        due = nextFree_;
    }
    for (;;) {
        if (StopRequested()) return false;
        const Clock::time_point now = Clock::now();
        if (now >= due) return true;
        const auto nap = std::min<Clock::duration>(due - now, kLongestNap);
        SleepMilliseconds(static_cast<unsigned>(std::max<long long>(
            1, std::chrono::duration_cast<std::chrono::milliseconds>(nap).count())));
    }
}
