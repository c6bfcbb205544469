#include "launcher/game_launch.h"

#include "platform/path.h"

std::string GameCommandLine(const std::string& address, const std::string& userName,
                            const std::string& userKey) {
    return " +connect " + address + " +netplayername " + userName + " +userkey " + userKey;
}

std::string GameExecutablePath(const std::string& installDirectory) {
    return JoinPath(JoinPath(installDirectory, "game"), "game.exe");
}

ProcessStart StartGame(const std::string& installDirectory, const std::string& commandLine) {
    return Processes().Start(
        {GameExecutablePath(installDirectory), commandLine, JoinPath(installDirectory, "game")});
}
