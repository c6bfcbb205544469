// The publisher's workers: a few threads taking jobs first come, first served. The first
// job to throw stops the pool: jobs not yet started are dropped, running ones may ask
// Stopped() to give up early, and every wait rethrows that first failure.
//
// pthreads rather than std::thread: the Windows build's compiler (mingw-w64, win32
// threads) has no std::thread, and its winpthreads serves both builds alike.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

// The cores, at most 8; KESTRAVA_THREADS overrides it, as for the launcher's own work.
unsigned DefaultPublishThreads();

class WorkPool {
public:
    struct JobState;
    using Ticket = std::shared_ptr<JobState>;

    explicit WorkPool(unsigned threads);
    // Drops the jobs not yet started and waits for the running ones.
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    unsigned Threads() const { return static_cast<unsigned>(threads_.size()); }
    // After a failure the job is dropped; the caller learns of it from its next wait.
    Ticket Submit(std::function<void()> job);
    // Until the job has run; on a failure, until no job runs, then rethrows it.
    void Wait(const Ticket& ticket);
    // For a job that needs one submitted before it (which has started already): until
    // that one has run; on a failure, throws Dropped at once.
    struct Dropped {};
    void Await(const Ticket& ticket);
    // Until every job submitted has run, calling tick every intervalMs meanwhile; on a
    // failure, until no job runs, then rethrows it.
    void WaitAll(const std::function<void()>& tick = {}, unsigned intervalMs = 100);
    bool Stopped() const { return stopped_.load(std::memory_order_relaxed); }
    // Drops the jobs not yet started and waits for the running ones; the pool runs no job
    // after this.
    void Abandon();

private:
    static void* Run(void* pool);
    void Work();
    void RethrowFailure();

    pthread_mutex_t mutex_;
    pthread_cond_t queued_;    // a job arrived, or the pool closes
    pthread_cond_t finished_;  // a job ran or was dropped
    std::deque<std::pair<Ticket, std::function<void()>>> queue_;
    std::vector<pthread_t> threads_;
    std::size_t unfinished_ = 0;
    bool closing_ = false;
    std::atomic<bool> stopped_{false};
    std::exception_ptr failure_;
};

// For a caller whose jobs use its locals: should it leave by an exception of its own (a
// read or write that failed on its thread), the jobs are abandoned before the locals go.
class AbandonOnThrow {
public:
    explicit AbandonOnThrow(WorkPool& pool)
        : pool_(pool), exceptions_(std::uncaught_exceptions()) {}
    ~AbandonOnThrow() {
        if (std::uncaught_exceptions() > exceptions_) pool_.Abandon();
    }
    AbandonOnThrow(const AbandonOnThrow&) = delete;
    AbandonOnThrow& operator=(const AbandonOnThrow&) = delete;

private:
    WorkPool& pool_;
    int exceptions_;
};
