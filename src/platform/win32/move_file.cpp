#include "platform/move_file.h"

#include <windows.h>

bool MoveFileOver(const std::string& source, const std::string& destination) {
    // The C runtime's rename refuses an existing destination here.
    return MoveFileExA(source.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}
