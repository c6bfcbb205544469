// The Win32 half of the launcher state: handles published once by start-up and by the
// main window's opening, read afterwards by the dialogs and the update worker.
#pragma once

#include <windows.h>

struct WindowHandles {
    HINSTANCE moduleInstance = nullptr;
    HWND mainWindow = nullptr;
    HWND progressBar = nullptr;
    HWND statusText = nullptr;
    HBITMAP background = nullptr;  // loaded once, kept for the life of the process
};

WindowHandles& Handles();
