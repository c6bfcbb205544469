// The thread that installs, updates or replaces the launcher while the main window
// stays responsive. Everything the thread uses is handed to it or outlives it: its job
// belongs to this object, and this object waits for the thread before it goes.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "update/install_layout.h"
#include "update/update_flow.h"

// Posted to the window given to Start when the run has ended; the window then calls
// Finish for the outcome.
constexpr UINT WM_UPDATE_WORKER_DONE = WM_APP + 1;

class UpdateWorker {
public:
    UpdateWorker() = default;
    ~UpdateWorker();
    UpdateWorker(const UpdateWorker&) = delete;
    UpdateWorker& operator=(const UpdateWorker&) = delete;

    // False when the thread could not be started (the system's reason in reason).
    // layout must outlive the thread.
    bool Start(UpdateAction action, const InstallLayout& layout, HWND notify, std::string& reason);
    bool Running() const { return thread_ != nullptr; }
    // Waits for the thread, which has posted its end, and returns what it ran into.
    UpdateOutcome Finish();

private:
    struct Job {
        UpdateAction action;
        const InstallLayout* layout;
        HWND notify;
        UpdateOutcome outcome;
    };
    static unsigned __stdcall Run(void* job);

    std::unique_ptr<Job> job_;
    HANDLE thread_ = nullptr;
};
