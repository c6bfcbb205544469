#include "platform/temp_file.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

std::string NewTemporaryFile() {
    wchar_t directory[MAX_PATH + 1] = {};
    wchar_t path[MAX_PATH] = {};
    if (GetTempPathW(MAX_PATH + 1, directory) == 0) return "";
    if (GetTempFileNameW(directory, L"kst", 0, path) == 0) return "";
    return Utf8FromWide(path);
}
