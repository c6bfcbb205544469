#pragma once

#include <string>

// Starts game\game.exe in the game folder with the given command line and does not
// wait for it.
bool StartGame(const std::string& installDirectory, const std::string& commandLine);
