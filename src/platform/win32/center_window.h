#pragma once

#include <windows.h>

// Centres a window over its parent, or over the desktop when it has none; size unchanged.
void CenterWindow(HWND window);
