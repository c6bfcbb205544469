#pragma once

#include <windows.h>

#include <optional>
#include <string>

// Runs the login dialog modally until the player signs in (the user key, already
// written to userKeyPath) or closes it (nothing).
std::optional<std::string> RunLoginDialog(HINSTANCE instance, const std::string& userKeyPath);
