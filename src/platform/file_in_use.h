// A file another program holds open: Windows refuses to open, rename or delete it while
// that program's handle allows no sharing (or while the program runs, for its own .exe).
#pragma once

#include <cerrno>
#include <string>
#include <vector>

#include "platform/file_system.h"

// The system's errno for it once the short retries are over.
inline constexpr int kFileInUseErrno = EBUSY;

class FileInUseError : public FileSystemError {
public:
    // shownName: the file as the player knows it; holders: what ProgramsHolding found.
    FileInUseError(const std::string& shownName, const std::vector<std::string>& holders);
};

// The programs that hold path open, as the system names them ("game.exe (Kestrava)");
// empty where it cannot tell.
std::vector<std::string> ProgramsHolding(const std::string& path);

// Raises FileInUseError for path when error says the file is in use.
void ThrowIfInUse(int error, const std::string& path, const std::string& shownName);
