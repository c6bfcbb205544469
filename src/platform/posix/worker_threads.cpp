#include "platform/worker_threads.h"

#include <chrono>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

void RunOnThreads(unsigned count, const std::function<void(unsigned worker)>& work) {
    std::vector<std::thread> threads;
    for (unsigned worker = 1; worker < count; ++worker) {
        try {
            threads.emplace_back(work, worker);
        } catch (const std::system_error&) {
            break;  // the threads already started, and this one, share the items
        }
    }
    work(0);
    for (std::thread& thread : threads) thread.join();
}

struct Mutex::State {
    std::mutex mutex;
};

Mutex::Mutex() : state_(std::make_unique<State>()) {}
Mutex::~Mutex() = default;
void Mutex::Lock() { state_->mutex.lock(); }
void Mutex::Unlock() { state_->mutex.unlock(); }

void SleepMilliseconds(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

unsigned system_calls::ProcessorCount() { return std::thread::hardware_concurrency(); }
