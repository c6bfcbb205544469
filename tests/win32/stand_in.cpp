// Stand-in for game.exe and vc_redist.x64.exe: appends its command line and working
// directory to "<exe name>.log" beside itself, one line each, and exits with code 0.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

#ifdef STAND_IN_NEXT_BUILD
// The next build of the game: the same behaviour by another function, so that the two
// builds differ as a rebuilt executable does.
std::string WorkingDirectory() {
    std::string directory(GetCurrentDirectoryA(0, nullptr), '\0');
    directory.resize(GetCurrentDirectoryA(static_cast<DWORD>(directory.size()), directory.data()));
    return directory;
}
#else
std::string WorkingDirectory() {
    char directory[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, directory);
    return directory;
}
#endif

}  // namespace

int main() {
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    const std::string directory = WorkingDirectory();

    const std::string log = std::string(module) + ".log";
    if (std::FILE* out = std::fopen(log.c_str(), "ab")) {
        std::fprintf(out, "cmdline=%s\r\ncwd=%s\r\n", GetCommandLineA(), directory.c_str());
        std::fclose(out);
    }
    return 0;
}
