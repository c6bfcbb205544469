#include <windows.h>

#include <cerrno>

#include "platform/move_file.h"

namespace {

// Callers report failures through errno, as for every stdio call.
int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        default:
            return EIO;
    }
}

}  // namespace

bool MoveFileOver(const std::string& source, const std::string& destination) {
    // The C runtime's rename refuses an existing destination here.
    if (MoveFileExA(source.c_str(), destination.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    errno = ErrnoOf(GetLastError());
    return false;
}
