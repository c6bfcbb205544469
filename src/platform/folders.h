#pragma once

#include <string>

// The directory of the running executable: the launcher's install directory.
std::string InstallDirectory();
