#include "launcher/update_worker.h"

#include <process.h>

#include <exception>

#include "platform/file_lock.h"
#include "platform/file_system.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/system_error.h"

UpdateWorker::~UpdateWorker() {
    if (Running()) Finish();
}

bool UpdateWorker::Start(UpdateAction action, const InstallLayout& layout, HWND notify,
                         std::string& reason) {
    if (Running()) return false;
    job_ = std::make_unique<Job>(Job{action, &layout, notify, {}});
    const uintptr_t thread = _beginthreadex(nullptr, 0, Run, job_.get(), 0, nullptr);
    if (thread == 0) {
        reason = SystemErrorText(GetLastError());
        job_.reset();
        return false;
    }
    thread_ = reinterpret_cast<HANDLE>(thread);
    return true;
}

UpdateOutcome UpdateWorker::Finish() {
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
    UpdateOutcome outcome = std::move(job_->outcome);
    job_.reset();
    return outcome;
}

unsigned __stdcall UpdateWorker::Run(void* parameter) {
    Job& job = *static_cast<Job*>(parameter);
    {
        const ComApartment com;
        try {
            // One run at a time in a folder, this launcher's or kestrava-install's. A lock
            // that cannot be taken at all (an odd file system) keeps no player out.
            MakeDirectories(job.layout->work);
            const FileLock lock(job.layout->lock);
            if (lock.state() == FileLock::State::kBusy) {
                job.outcome = InstallFailure(
                    "Another program is installing or updating the game in this folder. Try "
                    "again once it has finished.");
            } else {
                job.outcome = RunUpdate(job.action, *job.layout);
            }
        } catch (const std::exception& error) {
            // Nothing above this thread would catch it: the process would end.
            job.outcome = InstallFailure(error.what());
        }
    }
    PostMessageA(job.notify, WM_UPDATE_WORKER_DONE, 0, 0);
    return 0;
}
