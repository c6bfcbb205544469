#include "launcher/game_launch.h"

#include "platform/path.h"
#include "platform/process_runner.h"

bool StartGame(const std::string& installDirectory, const std::string& commandLine) {
    const std::string gameDirectory = JoinPath(installDirectory, "game");
    return Processes().Start({JoinPath(gameDirectory, "game.exe"), commandLine, gameDirectory});
}
