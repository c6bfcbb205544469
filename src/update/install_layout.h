// Where an installation keeps what. Beside the game folder, a work folder holds
// everything the launcher fetches or stages, so that any name is free for the game's
// own files and a killed run leaves nothing of its own among them.
#pragma once

#include <string>

#include "platform/path.h"

struct InstallLayout {
    explicit InstallLayout(const std::string& installDirectory)
        : install(installDirectory),
          game(JoinPath(installDirectory, "game")),
          record(JoinPath(installDirectory, "version.xml")),
          serial(JoinPath(installDirectory, "release-serial.txt")),
          work(JoinPath(installDirectory, "work")),
          installedList(JoinPath(work, kInstalledListName)) {}

    // The validation list of the version the record names, kept for the quick look at
    // start-up; the one file of the work folder that outlives a run.
    static constexpr char kInstalledListName[] = "installed.validate.xml";

    std::string install;
    std::string game;
    std::string record;  // version.xml: names a version only while game holds exactly it
    // The highest release serial accepted here: an older signed catalogue is a replay.
    std::string serial;
    std::string work;
    std::string installedList;
};
