#include "platform/folders.h"

#include <windows.h>
#include <shlwapi.h>

std::string InstallDirectory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    PathRemoveFileSpecA(path);
    return path;
}
