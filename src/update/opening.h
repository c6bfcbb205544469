// The decisions the main window takes when it opens: is the launcher current, what
// does the game need, and which servers can the player join.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "update/install_layout.h"

enum class LauncherVersionStatus {
    kCurrent,
    kOutOfDate,
    kUnknown,  // launcher.xml missing or malformed: carry on as if current
};

// Deletes a leftover launcher.ex_, then fetches launcher.xml and compares its version
// with ours, byte for byte.
LauncherVersionStatus TestLauncherVersion(const InstallLayout& layout);

enum class GameState {
    kNeedsInstall,
    kNeedsUpdate,
    kCurrent,
    kCatalogueUnreadable,  // versions.xml or version.xml missing or malformed
    kCatalogueRefused,     // versions.xml not signed, older than one seen, or expired
};

// refusal, when given, receives the player's message for kCatalogueRefused.
GameState DecideGameState(const InstallLayout& layout, std::string* refusal = nullptr);

// The catalogue's current version, fetched and proved as the opening does (its serial
// becomes the highest accepted). Raises VerificationError for a catalogue the release
// does not vouch for, InstallError (its cause set) for one that does not arrive or
// names no current version.
std::string FetchLatestVersion(const InstallLayout& layout);

// The quick look: every file of the installed version's list is there at its listed
// size. False without a list.
bool InstalledFilesPresent(const InstallLayout& layout);

struct GameServer {
    std::string name;
    std::string address;
};

// Fetches servers.xml and reads its servers in file order, skipping any without a name
// or an address. Nothing when the file is missing, has no "Servers" root, or is not
// vouched for by the signed release.
std::optional<std::vector<GameServer>> LoadServerList(const InstallLayout& layout);
