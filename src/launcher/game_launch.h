#pragma once

#include <string>

#include "platform/process_runner.h"

// " +connect <address> +netplayername <name> +userkey <key>", nothing quoted.
std::string GameCommandLine(const std::string& address, const std::string& userName,
                            const std::string& userKey);

// game\game.exe in the game folder, which is also its current directory.
std::string GameExecutablePath(const std::string& installDirectory);

// Starts the game with the given command line and does not wait for it.
ProcessStart StartGame(const std::string& installDirectory, const std::string& commandLine);
