#include "platform/worker_threads.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace {
std::atomic<unsigned> chosenCount{0};
}

void SetWorkerThreadCount(unsigned count) { chosenCount.store(count); }

unsigned WorkerThreadCount() {
    if (const unsigned chosen = chosenCount.load())
        return std::clamp(chosen, 1u, kMostWorkerThreads);
    unsigned count = system_calls::ProcessorCount();
    if (const char* forced = std::getenv("KESTRAVA_THREADS")) {
        char* end = nullptr;
        const unsigned long value = std::strtoul(forced, &end, 10);
        if (end != forced && *end == '\0' && value > 0) {
            count = static_cast<unsigned>(std::min<unsigned long>(value, kMostWorkerThreads));
        }
    }
    return std::clamp(count, 1u, kMostWorkerThreads);
}

bool WorkQueue::Take(std::size_t& item) {
    if (stopped_.load()) return false;
    const std::size_t taken = next_.fetch_add(1);
    if (taken >= count_) return false;
    item = taken;
    return true;
}
