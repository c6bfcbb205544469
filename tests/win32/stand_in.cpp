// Stand-in for game.exe and vc_redist.x64.exe: appends its command line and working
// directory to "<exe name>.log" beside itself, one line each (UTF-8), and exits with
// code 0. "--stay SECONDS" keeps it running that long first, as a game the player left
// open. Wide calls throughout: it may live under any name, however long.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr);
    return narrow;
}

#ifdef STAND_IN_NEXT_BUILD
// The next build of the game: the same behaviour by another function, so that the two
// builds differ as a rebuilt executable does.
std::wstring WorkingDirectory() {
    std::wstring directory(GetCurrentDirectoryW(0, nullptr), L'\0');
    directory.resize(GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), &directory[0]));
    return directory;
}
#else
std::wstring WorkingDirectory() {
    std::wstring directory(32768, L'\0');
    directory.resize(GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), &directory[0]));
    return directory;
}
#endif

}  // namespace

int main() {
    std::wstring module(32768, L'\0');
    module.resize(GetModuleFileNameW(nullptr, &module[0], static_cast<DWORD>(module.size())));
    const std::wstring directory = WorkingDirectory();

    std::wstring log = module + L".log";
    if (log.size() >= MAX_PATH && log.rfind(L"\\\\", 0) != 0) log.insert(0, L"\\\\?\\");
    if (std::FILE* out = _wfopen(log.c_str(), L"ab")) {
        std::fprintf(out, "cmdline=%s\r\ncwd=%s\r\n", Utf8(GetCommandLineW()).c_str(),
                     Utf8(directory).c_str());
        std::fclose(out);
    }
    const wchar_t* stay = std::wcsstr(GetCommandLineW(), L"--stay ");
    if (stay != nullptr) Sleep(static_cast<DWORD>(std::wcstol(stay + 7, nullptr, 10)) * 1000);
    return 0;
}
