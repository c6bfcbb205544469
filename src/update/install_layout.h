// Where an installation keeps what. Beside the game folder, a work folder holds
// everything the launcher fetches or stages, so that any name is free for the game's
// own files and a killed run leaves nothing of its own among them. Each front end
// builds one for its folder and hands it to every part of the engine.
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
          installedList(JoinPath(work, kInstalledListName)),
          lock(JoinPath(work, kLockName)),
          runtimeMarker(JoinPath(installDirectory, "redist.txt")),
          runtimeInstaller(JoinPath(installDirectory, "vc_redist.x64.exe")),
          launcher(JoinPath(installDirectory, "launcher.exe")),
          replacementLauncher(JoinPath(installDirectory, kReplacementLauncherName)),
          previousLauncher(JoinPath(installDirectory, "launcher.ex_")) {}

    // The validation list of the version the record names, kept for the quick look at
    // start-up; with the lock, the files of the work folder that outlive a run.
    static constexpr char kInstalledListName[] = "installed.validate.xml";
    // Held by the run that works on the folder (see platform/file_lock.h).
    static constexpr char kLockName[] = "install.lock";
    static constexpr char kReplacementLauncherName[] = "launcher-new.exe";

    std::string install;
    std::string game;
    std::string record;  // version.xml: names a version only while game holds exactly it
    // The highest release serial accepted here: an older signed catalogue is a replay.
    std::string serial;
    std::string work;
    std::string installedList;
    std::string lock;
    // Present once the Visual C++ runtime installer has run for this folder.
    std::string runtimeMarker;
    std::string runtimeInstaller;
    std::string launcher;
    // A self-update's new launcher, until it has moved itself over launcher.exe.
    std::string replacementLauncher;
    // What launchers before the self-update by renames left of themselves.
    std::string previousLauncher;
};
