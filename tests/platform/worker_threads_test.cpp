#include "platform/worker_threads.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(WorkerThreads, EveryItemIsTakenOnceAndEveryWorkerRuns) {
    for (unsigned threads : {1u, 2u, 5u, kMostWorkerThreads}) {
        constexpr std::size_t kItems = 5000;
        std::vector<std::atomic<int>> taken(kItems);
        std::vector<std::atomic<int>> ran(threads);
        WorkQueue queue(kItems);
        RunOnThreads(threads, [&](unsigned worker) {
            ++ran[worker];
            std::size_t item;
            while (queue.Take(item)) ++taken[item];
        });
        for (std::size_t i = 0; i < kItems; ++i) ASSERT_EQ(taken[i], 1) << threads << " " << i;
        for (unsigned w = 0; w < threads; ++w) EXPECT_EQ(ran[w], 1) << threads << " " << w;
    }
}

TEST(WorkerThreads, AStoppedQueueHandsOutNothingMore) {
    WorkQueue queue(10);
    std::size_t item = 99;
    ASSERT_TRUE(queue.Take(item));
    EXPECT_EQ(item, 0u);
    queue.Stop();
    EXPECT_TRUE(queue.Stopped());
    EXPECT_FALSE(queue.Take(item));
}

TEST(WorkerThreads, TheEnvironmentSetsTheCountWithinItsBounds) {
    const unsigned processors = [] {
        unsetenv("KESTRAVA_THREADS");
        return WorkerThreadCount();
    }();
    EXPECT_GE(processors, 1u);
    EXPECT_LE(processors, kMostWorkerThreads);
    const struct {
        const char* value;
        unsigned count;
    } cases[] = {{"1", 1},
                 {"3", 3},
                 {"64", kMostWorkerThreads},
                 {"0", processors},
                 {"two", processors},
                 {"2x", processors}};
    for (const auto& c : cases) {
        setenv("KESTRAVA_THREADS", c.value, 1);
        EXPECT_EQ(WorkerThreadCount(), c.count) << c.value;
    }
    unsetenv("KESTRAVA_THREADS");
}

}  // namespace
