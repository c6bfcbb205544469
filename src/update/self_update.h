// The launcher's replacement by the release on the update server. The running program
// cannot be overwritten, so the new one arrives beside it as launcher-new.exe and, once
// started, moves itself over launcher.exe: each step is one rename, and whatever point
// the process dies at, a launcher.exe that starts is in place.
#pragma once

#include <string>

#include "update/install_layout.h"
#include "update/update_flow.h"

inline constexpr const char* kReplacementLauncherName = InstallLayout::kReplacementLauncherName;

// Fetches the new launcher.exe into the work folder, checks it (a Windows program, of
// the size and SHA-256 that launcher.xml gives when it gives them), moves it beside the
// running one as launcher-new.exe and starts it: kExitProcess. Any failure keeps this
// launcher and ends in a message.
UpdateOutcome ReplaceLauncher(const InstallLayout& layout);

// Called first at every start with the running program's path. Started as
// launcher-new.exe, it moves itself over launcher.exe: false while the old launcher has
// not let go of its file yet (try again shortly). Started under any other name, it
// removes a replacement that was never started and what a cut download left: false
// while one of them cannot be removed yet.
bool FinishLauncherReplacement(const InstallLayout& layout, const std::string& ownPath);

// Whether the file at path starts like a Windows executable (MZ header, PE signature).
bool LooksLikeWindowsExecutable(const std::string& path);
