#pragma once

#include <windows.h>

// Runs the Settings dialog (resource 108) modally, with no owner; always ends with 0.
INT_PTR RunSettingsDialog();
