// Process-wide launcher values shared by the subsystems. Each is written by one
// owner (start-up, the login dialog, the main window) and read by the others; the
// Win32 handles live beside them in launcher/window_handles.h.
#pragma once

#include <string>
#include <vector>

inline constexpr char kLauncherVersion[] = "1.0.1";

enum ActionCode : int {
    kActionInstall = 0,
    kActionUpdate = 1,
    kActionPlay = 2,
    kActionUpdateLauncher = 3,
    kActionRetry = 4,  // the version catalogue could not be read: run the opening checks again
};

struct LauncherState {
    std::string userKey;
    std::string userName;
    int actionCode = kActionInstall;
    // Addresses of the server list's entries; each entry's item data is its index here,
    // so an address always stays with the name it was read with, however the list sorts.
    std::vector<std::string> serverAddresses;
};

LauncherState& Launcher();
