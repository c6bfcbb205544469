#pragma once

#include <windows.h>

// Runs the Settings dialog modally over owner, which stays disabled meanwhile: one
// Settings at a time. OK writes the registry values and engine.cfg.
void RunSettingsDialog(HINSTANCE instance, HWND owner);
