#include "work_pool.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <stdexcept>
#include <string>

#include "platform/worker_threads.h"

struct WorkPool::JobState {
    bool finished = false;
};

namespace {

class Locked {
public:
    explicit Locked(pthread_mutex_t& mutex) : mutex_(mutex) { pthread_mutex_lock(&mutex_); }
    ~Locked() { pthread_mutex_unlock(&mutex_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    pthread_mutex_t& mutex_;
};

timespec AfterMilliseconds(unsigned milliseconds) {
    // pthread_cond_timedwait counts on the system clock.
    const auto at = std::chrono::system_clock::now() + std::chrono::milliseconds(milliseconds);
    const auto since = std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch());
    timespec deadline{};
    deadline.tv_sec = static_cast<std::time_t>(since.count() / 1000000000);
    deadline.tv_nsec = static_cast<long>(since.count() % 1000000000);
    return deadline;
}

}  // namespace

unsigned DefaultPublishThreads() { return WorkerThreadCount(); }

WorkPool::WorkPool(unsigned threads) {
    pthread_mutex_init(&mutex_, nullptr);
    pthread_cond_init(&queued_, nullptr);
    pthread_cond_init(&finished_, nullptr);
    threads = std::max(threads, 1u);
    for (unsigned i = 0; i < threads; ++i) {
        pthread_t thread;
        if (pthread_create(&thread, nullptr, &WorkPool::Run, this) != 0) break;
        threads_.push_back(thread);
    }
    if (threads_.empty()) {
        pthread_cond_destroy(&finished_);
        pthread_cond_destroy(&queued_);
        pthread_mutex_destroy(&mutex_);
        throw std::runtime_error("cannot start a worker thread");
    }
}

WorkPool::~WorkPool() {
    {
        Locked lock(mutex_);
        closing_ = true;
        stopped_ = true;
        pthread_cond_broadcast(&queued_);
    }
    for (pthread_t thread : threads_) pthread_join(thread, nullptr);
    pthread_cond_destroy(&finished_);
    pthread_cond_destroy(&queued_);
    pthread_mutex_destroy(&mutex_);
}

void* WorkPool::Run(void* pool) {
    static_cast<WorkPool*>(pool)->Work();
    return nullptr;
}

void WorkPool::Work() {
    for (;;) {
        std::pair<Ticket, std::function<void()>> job;
        {
            Locked lock(mutex_);
            while (queue_.empty() && !closing_) pthread_cond_wait(&queued_, &mutex_);
            if (queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        std::exception_ptr failure;
        if (!Stopped()) {
            try {
                job.second();
            } catch (...) {
                failure = std::current_exception();
            }
        }
        job.second = nullptr;  // what the job holds goes before anyone is told it ran
        Locked lock(mutex_);
        if (failure && !failure_) {
            failure_ = failure;
            stopped_ = true;
        }
        job.first->finished = true;
        --unfinished_;
        pthread_cond_broadcast(&finished_);
    }
}

WorkPool::Ticket WorkPool::Submit(std::function<void()> job) {
    auto ticket = std::make_shared<JobState>();
    Locked lock(mutex_);
    queue_.emplace_back(ticket, std::move(job));
    ++unfinished_;
    pthread_cond_signal(&queued_);
    return ticket;
}

void WorkPool::RethrowFailure() {
    if (!failure_) return;
    // The caller may free what jobs use once this returns: none may still run.
    while (unfinished_ != 0) pthread_cond_wait(&finished_, &mutex_);
    std::rethrow_exception(failure_);
}

void WorkPool::Abandon() {
    Locked lock(mutex_);
    stopped_ = true;
    while (unfinished_ != 0) pthread_cond_wait(&finished_, &mutex_);
}

void WorkPool::Wait(const Ticket& ticket) {
    Locked lock(mutex_);
    while (!ticket->finished && !failure_) pthread_cond_wait(&finished_, &mutex_);
    RethrowFailure();
}

void WorkPool::Await(const Ticket& ticket) {
    Locked lock(mutex_);
    while (!ticket->finished && !failure_) pthread_cond_wait(&finished_, &mutex_);
    if (failure_) throw Dropped();
}

void WorkPool::WaitAll(const std::function<void()>& tick, unsigned intervalMs) {
    for (;;) {
        {
            Locked lock(mutex_);
            if (unfinished_ == 0 || failure_) break;
            const timespec until = AfterMilliseconds(intervalMs);
            pthread_cond_timedwait(&finished_, &mutex_, &until);
            if (unfinished_ == 0 || failure_) break;
        }
        if (tick) tick();
    }
    Locked lock(mutex_);
    RethrowFailure();
}
