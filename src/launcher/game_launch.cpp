#include "launcher/game_launch.h"

#include <windows.h>

#include <vector>

#include "platform/path.h"

bool StartGame(const std::string& installDirectory, const std::string& commandLine) {
    const std::string gameDirectory = JoinPath(installDirectory, "game");
    const std::string executable = JoinPath(gameDirectory, "game.exe");
    // CreateProcessA may write into the command line, so it gets a buffer of its own,
    // sized to the text rather than to MAX_PATH.
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(executable.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        gameDirectory.c_str(), &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
