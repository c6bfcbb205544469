// A few threads for work that splits into independent items (files to hash, zip entries to
// inflate). The Windows build's C++ runtime (mingw-w64's win32 thread model) has no
// std::thread or std::mutex, so each build starts threads and locks with its own calls.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>

// Threads such work should use: one a processor, at most kMostWorkerThreads. The
// environment variable KESTRAVA_THREADS overrides the processor count (1 takes the
// sequential path; tests compare the two that way).
inline constexpr unsigned kMostWorkerThreads = 8;
unsigned WorkerThreadCount();
// A count chosen by the program (a console option), which wins over both; 0 lifts it.
void SetWorkerThreadCount(unsigned count);

// Runs work(0) on the calling thread and work(1) ... work(count - 1) on threads of their
// own, and returns once every call has returned. work must not throw. A thread the system
// refuses is not started: work should take its items from a shared WorkQueue, so that the
// threads that run do them all.
void RunOnThreads(unsigned count, const std::function<void(unsigned worker)>& work);

// Hands out items 0 ... count - 1, each once, until one fails.
class WorkQueue {
public:
    explicit WorkQueue(std::size_t count) : count_(count) {}
    // The next item, or false once every item is taken or Stop was called.
    bool Take(std::size_t& item);
    // No item is handed out after this; those already taken run to their end.
    void Stop() { stopped_.store(true); }
    bool Stopped() const { return stopped_.load(); }

private:
    const std::size_t count_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> stopped_{false};
};

class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void Lock();
    void Unlock();

private:
    struct State;
    std::unique_ptr<State> state_;
};

class MutexLock {
public:
    explicit MutexLock(Mutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~MutexLock() { mutex_.Unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& mutex_;
};

// Blocks the calling thread for about that long.
void SleepMilliseconds(unsigned milliseconds);

namespace system_calls {
unsigned ProcessorCount();  // 0 when the system does not say
}  // namespace system_calls
