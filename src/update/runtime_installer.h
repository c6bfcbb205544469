// The Visual C++ runtime, installed once per install directory.
#pragma once

#include "update/install_layout.h"

// Skipped for good once the layout's runtime marker exists; otherwise fetches the
// runtime installer, runs it silently, waits for it, deletes it and leaves the marker,
// whether or not the download or the run succeeded.
void InstallRuntime(const InstallLayout& layout);
