// The launcher's replacement by the release on the update server.
#pragma once

#include <string>

#include "update/update_flow.h"

// Moves launcher.exe aside as launcher.ex_, fetches the new launcher.exe and starts it:
// kExitProcess. When the new launcher does not arrive whole, the old one gets its name
// back and the outcome is a message instead: the player always keeps a launcher.
UpdateOutcome ReplaceLauncher(const std::string& installDirectory);

// Whether the file at path starts like a Windows executable (MZ header, PE signature).
bool LooksLikeWindowsExecutable(const std::string& path);
