#pragma once

#include <string>

// The full path of the running executable.
std::string ExecutablePath();

// The directory of the running executable: the launcher's install directory.
std::string InstallDirectory();

// The user's Documents folder, or "" when the system cannot say. Never created.
std::string DocumentsDirectory();
