#include "platform/worker_threads.h"

#include <windows.h>

#include <process.h>

#include <vector>

namespace {

struct Start {
    const std::function<void(unsigned)>* work;
    unsigned worker;
};

// Started through the C runtime, which then keeps errno and stdio state for the thread.
unsigned __stdcall RunWorker(void* parameter) {
    const Start& start = *static_cast<const Start*>(parameter);
    (*start.work)(start.worker);
    return 0;
}

}  // namespace

void RunOnThreads(unsigned count, const std::function<void(unsigned worker)>& work) {
    std::vector<Start> starts(count);
    std::vector<HANDLE> threads;
    for (unsigned worker = 1; worker < count; ++worker) {
        starts[worker] = {&work, worker};
        const uintptr_t thread = _beginthreadex(nullptr, 0, RunWorker, &starts[worker], 0, nullptr);
        if (thread == 0) break;  // the threads already started share the items
        threads.push_back(reinterpret_cast<HANDLE>(thread));
    }
    work(0);
    if (!threads.empty()) {
        WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    }
    for (HANDLE thread : threads) CloseHandle(thread);
}

struct Mutex::State {
    CRITICAL_SECTION section;
};

Mutex::Mutex() : state_(std::make_unique<State>()) { InitializeCriticalSection(&state_->section); }
Mutex::~Mutex() { DeleteCriticalSection(&state_->section); }
void Mutex::Lock() { EnterCriticalSection(&state_->section); }
void Mutex::Unlock() { LeaveCriticalSection(&state_->section); }

unsigned system_calls::ProcessorCount() {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors;
}

void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }
