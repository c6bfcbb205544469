#include "platform/temp_file.h"

#include <windows.h>

std::string NewTemporaryFile() {
    char directory[MAX_PATH + 1] = {};
    char path[MAX_PATH] = {};
    if (GetTempPathA(sizeof directory, directory) == 0) return "";
    if (GetTempFileNameA(directory, "kst", 0, path) == 0) return "";
    return path;
}
