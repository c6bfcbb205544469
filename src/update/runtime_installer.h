// The Visual C++ runtime, installed once per install directory.
#pragma once

#include <string>

// Skipped for good once install directory + "redist.txt" exists; otherwise fetches the
// runtime installer, runs it silently, waits for it, deletes it and leaves the marker,
// whether or not the download or the run succeeded.
void InstallRuntime(const std::string& installDirectory);
