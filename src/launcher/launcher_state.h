// Process-wide launcher values shared by the subsystems. Each is written by one
// owner (start-up, the login dialog, the main window) and read by the others; the
// Win32 handles live beside them in launcher/window_handles.h.
#pragma once

#include <string>

inline constexpr char kLauncherVersion[] = "1.0.1";

enum ActionCode : int {
    kActionInstall = 0,
    kActionUpdate = 1,
    kActionPlay = 2,
    kActionUpdateLauncher = 3,
};

struct LauncherState {
    std::string userKey;
    std::string userName;
    int actionCode = kActionInstall;
};

LauncherState& Launcher();
