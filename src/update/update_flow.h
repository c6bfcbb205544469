// The work of the update worker, without its thread or its windows: the worker calls
// RunUpdate and then does what the outcome says.
#pragma once

#include <string>

struct UpdateOutcome {
    enum class Next {
        kNotifyWindow,  // success: send the completion message to the main window
        kShowMessage,   // failure: show the box (no owner, error icon), end the thread
        kExitProcess,   // the new launcher has been started: end the process, code 0
        kStopped,       // the player stopped the work: show what a fresh start would
    };
    Next next = Next::kNotifyWindow;
    std::string text;     // the box's body
    std::string caption;  // the box's caption
};

enum class UpdateAction {
    kInstall,
    kUpdate,
    kReplaceLauncher,
};

// Runs the path of action for the launcher installed in installDirectory. Never
// raises: every failure becomes an outcome with a message.
UpdateOutcome RunUpdate(UpdateAction action, const std::string& installDirectory);

UpdateOutcome InstallFailure(const std::string& text);
UpdateOutcome ValidationFailure(const std::string& detail = {});
UpdateOutcome FileInUseFailure(const std::string& text);
