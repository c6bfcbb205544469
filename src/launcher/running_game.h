// The installed game, still running while the player asks for an update.
#pragma once

#include <windows.h>

#include <string>

// True when the update may go on: the game of this install is not running, or the
// player closed it when asked. False when the player chose to leave it running.
bool GameClosedForUpdate(HWND owner, const std::string& installDirectory);
