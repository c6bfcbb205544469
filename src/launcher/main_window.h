#pragma once

#include <windows.h>

// Runs the main window (dialog 101) modally; its end code is the program's exit code.
INT_PTR RunMainWindow();
