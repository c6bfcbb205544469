// Stand-in for game.exe and vc_redist.x64.exe: appends its command line and working
// directory to "<exe name>.log" beside itself, one line each, and exits with code 0.
// "--stay SECONDS" keeps it running that long first, as a game the player left open.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main() {
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    char directory[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, directory);

    const std::string log = std::string(module) + ".log";
    if (std::FILE* out = std::fopen(log.c_str(), "ab")) {
        std::fprintf(out, "cmdline=%s\r\ncwd=%s\r\n", GetCommandLineA(), directory);
        std::fclose(out);
    }
    const char* stay = std::strstr(GetCommandLineA(), "--stay ");
    if (stay != nullptr) Sleep(static_cast<DWORD>(std::atoi(stay + 7)) * 1000);
    return 0;
}
