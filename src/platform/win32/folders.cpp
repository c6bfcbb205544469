#include "platform/folders.h"

#include <windows.h>

#include <shlobj.h>

#include "platform/win32/wide_text.h"

// Paths leave here as UTF-8, the file-system layer's encoding, whatever the code page.
std::string ExecutablePath() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return Utf8FromWide(path);
}

std::string InstallDirectory() {
    const std::string path = ExecutablePath();
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(0, slash);
}

std::string DocumentsDirectory() {
    wchar_t path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_PERSONAL, FALSE)) return {};
    return Utf8FromWide(path);
}
