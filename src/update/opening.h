// The decisions the main window takes when it opens: is the launcher current, what
// does the game need, and which servers can the player join.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class LauncherVersionStatus {
    kCurrent,
    kOutOfDate,
    kUnknown,  // launcher.xml missing or malformed: carry on as if current
};

// Deletes a leftover launcher.ex_, then fetches launcher.xml and compares its version
// with ours, byte for byte.
LauncherVersionStatus TestLauncherVersion(const std::string& installDirectory);

enum class GameState {
    kNeedsInstall,
    kNeedsUpdate,
    kCurrent,
    kCatalogueUnreadable,  // versions.xml or version.xml missing or malformed
    kCatalogueRefused,     // versions.xml not signed, older than one seen, or expired
};

// refusal, when given, receives the player's message for kCatalogueRefused.
GameState DecideGameState(const std::string& installDirectory, std::string* refusal = nullptr);

struct GameServer {
    std::string name;
    std::string address;
};

// Fetches servers.xml and reads its servers in file order, skipping any without a name
// or an address. Nothing when the file is missing, has no "Servers" root, or is not
// vouched for by the signed release.
std::optional<std::vector<GameServer>> LoadServerList(const std::string& installDirectory);
