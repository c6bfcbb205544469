// A launcher server in a temporary folder, reached through a FolderDownloader, with
// the status texts and started processes recorded; and small zip and tree builders.
#pragma once

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "platform/folder_downloader.h"
#include "platform/process_runner.h"
#include "recording_status.h"
#include "temp_dir.h"

class RecordingRunner final : public ProcessRunner {
public:
    ProcessStart Start(const ProcessLaunch& launch) override {
        launches.push_back(launch);
        return startSucceeds;
    }
    std::vector<ProcessLaunch> launches;
    bool startSucceeds = true;
};

using Tree = std::map<std::string, std::string>;  // "/"-separated name to contents

void WriteTree(const std::string& directory, const Tree& files);
// Every regular file below directory; an absent directory reads as empty.
Tree ReadTree(const std::string& directory);

struct ZipEntrySpec {
    std::string name;
    std::string data;
    bool directory = false;
    bool symbolicLink = false;  // a UNIX symlink entry whose data is the link's target
    bool dosDirectory = false;  // a file entry carrying the DOS folder attribute
    bool deflated = false;
};
// A zip written with libzip, entries in the order given, stored unless deflated.
void WriteZip(const std::string& path, const std::vector<ZipEntrySpec>& entries);

// A MIX archive as our writer lays it out, which patching reproduces byte for byte.
std::string WrittenMix(const std::vector<std::pair<std::string, std::string>>& entries);

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string ServerRoot() const { return temp.File("server"); }
    std::string LauncherFolder() const { return temp.File("server/launcher"); }
    std::string InstallDir() const { return temp.File("install"); }
    std::string GameDir() const { return temp.File("install/game"); }
    std::string InInstall(const std::string& name) const { return temp.File("install/" + name); }

    // Publishes files as version with kestrava-publish's own code.
    void Publish(const std::string& version, const Tree& files, bool full = false);
    std::string VersionUrl(const std::string& version) const;
    // The status texts since the last call.
    std::vector<std::string> TakeTexts();

    TempDir temp;
    FolderDownloader net;
    RecordingStatus status;
    RecordingRunner runner;
};
