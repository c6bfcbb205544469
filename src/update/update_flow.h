// The work of the update worker, without its thread or its windows: the worker calls
// RunUpdate and then does what the outcome says.
#pragma once

#include <string>
#include <utility>

#include "update/install_layout.h"
#include "update/update_error.h"

struct UpdateOutcome {
    enum class Next {
        kNotifyWindow,  // success: send the completion message to the main window
        kShowMessage,   // failure: show the box (no owner, error icon), end the thread
        kExitProcess,   // the new launcher has been started: end the process, code 0
        kStopped,       // the player stopped the work: show what a fresh start would
    };
    UpdateOutcome() = default;
    UpdateOutcome(Next next, std::string text, std::string caption,
                  FailureCause cause = FailureCause::kOther)
        : next(next), text(std::move(text)), caption(std::move(caption)), cause(cause) {}

    Next next = Next::kNotifyWindow;
    std::string text;                           // the box's body
    std::string caption;                        // the box's caption
    FailureCause cause = FailureCause::kOther;  // what a message comes down to
    bool changed = false;                       // whether the game folder was touched
    std::string version;                        // on success, the version the game folder now holds
};

enum class UpdateAction {
    kInstall,
    kUpdate,
    kReplaceLauncher,
};

struct UpdateOptions {
    // kInstall: this version rather than the catalogue's current one.
    std::string version;
    // The Visual C++ runtime, which the launcher installs once; the console installer
    // serves hosts that bring their own.
    bool installRuntime = true;
};

// Runs the path of action for the installation laid out as layout says. Never raises:
// every failure becomes an outcome with a message.
UpdateOutcome RunUpdate(UpdateAction action, const InstallLayout& layout,
                        const UpdateOptions& options = {});

UpdateOutcome InstallFailure(const std::string& text, FailureCause cause = FailureCause::kOther);
UpdateOutcome ValidationFailure(const std::string& detail = {});
UpdateOutcome FileInUseFailure(const std::string& text);
