#pragma once

#include <windows.h>

#include <functional>

#include "launcher/session.h"
#include "update/install_layout.h"

enum class MainWindowEnd {
    kClosed,
    kLoggedOut,
    kLauncherReplaced,  // a new launcher has started and takes over
};

// Runs the main window modally until it is closed, the player logs out or a new
// launcher has started. Returns only once the update worker has stopped.
// Called on the window's thread before each start of the update worker.
using WorkerStart = std::function<void()>;

MainWindowEnd RunMainWindow(HINSTANCE instance, const InstallLayout& layout, const Session& session,
                            const WorkerStart& beforeWork = {});
