// The operator's side of the update protocol: turns game builds into the tree of files
// the launcher downloads, and checks such a tree with the launcher's own engine.
//
// Tree under ROOT:
//   launcher/versions.xml, launcher/servers.xml
//   launcher/VERSION/manifest.xml, manifest.validate.xml, PACKAGE.zip ...
//   launcher/store/HH/HASH.zip (see repair_store.h)
//   update/launcher.xml, update/launcher.exe
//
// Packages: a version's new and changed files go whole into one package per top-level
// folder of the build, "files-" + the folder's name, and files at the top level into
// "files"; characters other than letters, digits, ".", "-" and "_" become "_". A
// changed MIX archive (".mix", any case) goes instead as a patch archive in a package
// of its own, "patch-" + its path with "/" as ".", when both builds' copies are readable
// archives and patching the old one gives the new one byte for byte. With deltas, the
// patch may rebuild changed entries from their old selves, and any other changed file
// (an archive that cannot be patched by entries too) goes as a delta (FLATNAME.delta)
// in such a package where that is smaller than DeltaPays asks; each delta is applied
// once before it is kept. Zips
// hold their entries sorted by name, written as zip_writer.h says, so the same build
// always gives the same bytes.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "publish_progress.h"

class PublishError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct PublishOptions {
    // Take the previous version by replaying the tree, as verify does, rather than from
    // its validation list and the store: slower, and it proves the tree on the way.
    bool replayPrevious = false;
    // Deltas need a launcher that applies them: off until every player has one.
    bool deltas = false;
    unsigned threads = 0;  // workers; 0: DefaultPublishThreads()
    ProgressSink progress;
};

// Publishes buildDir as version under root. Without full, the manifest takes the game
// from the previous published version to this one: its files are those its validation
// list names, and a changed MIX archive is diffed against the copy in the store (or,
// lacking that, in a replay of the tree). Every file of the build goes into the repair
// store unless it is there already. Each file of the build is read twice at most: once
// to hash it, once to compress it for its package and its store object together.
void AddVersion(const std::string& root, const std::string& version, const std::string& buildDir,
                bool full, const PublishOptions& options = {});

// launcher/servers.xml, the servers in the order given.
void PublishServers(const std::string& root,
                    const std::vector<std::pair<std::string, std::string>>& servers);

// update/launcher.exe, and update/launcher.xml announcing version with the
// executable's size and SHA-256.
void PublishLauncher(const std::string& root, const std::string& version,
                     const std::string& executable);

// One line of verify's report.
struct ChainReport {
    std::string chain;  // "install -> 1.2", "update 1.0 -> 1.2", "store", "launcher"
    bool ok = false;
    std::string message;
};

// Replays in scratch directories an Install, and an Update from every published
// version, to the catalogue's "Current", validating each result.
std::vector<ChainReport> VerifyTree(const std::string& root);

// update/launcher.exe against the size and SHA-256 that update/launcher.xml gives;
// nothing for a tree without launcher.xml, or one published before it gave them.
std::optional<ChainReport> VerifyLauncherRelease(const std::string& root);

// Rebuilds version's game files into gameDirectory from the tree, as the launcher
// would install them, and validates them against the version's manifest.
void ReplayVersion(const std::string& root, const std::string& version,
                   const std::string& gameDirectory);
