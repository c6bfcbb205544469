// The Install and Update paths end to end, against trees made by the publisher.
#include "update/update_flow.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "update/documents.h"
#include "update/install_layout.h"
#include "update/update_test_support.h"
#include "update/web_servers.h"

namespace fs = std::filesystem;

namespace {

const Tree kBuild1 = {
    {"game.exe", "exe 1"}, {"data/a.ini", "a1"}, {"data/b.ini", "b1"}, {"readme.txt", "read me"}};
const Tree kBuild2 = {
    {"game.exe", "exe 2"}, {"data/a.ini", "a1"}, {"data/c.ini", "c2"}, {"readme.txt", "read me"}};
const Tree kBuild3 = {{"game.exe", "exe 3"}, {"data/c.ini", "c3"}, {"maps/one.map", "map"}};

class UpdateFlowTest : public UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        CreateEmptyFile(InInstall("redist.txt"));
    }
    UpdateOutcome Run(UpdateAction action) {
        return RunUpdate(action, InstallLayout(InstallDir()));
    }
    std::string Recorded() { return LoadInstalledVersion(InInstall("version.xml"), "version.xml"); }
    std::size_t Fetches(const std::string& suffix) {
        return static_cast<std::size_t>(std::count_if(
            net.requests().begin(), net.requests().end(), [&](const std::string& url) {
                return url.size() >= suffix.size() &&
                       url.compare(url.size() - suffix.size(), suffix.size(), suffix) == 0;
            }));
    }
    void InstallAt(const std::string& version) {
        ASSERT_EQ(Run(UpdateAction::kInstall).next, UpdateOutcome::Next::kNotifyWindow);
        ASSERT_EQ(Recorded(), version);
        net = FolderDownloader();
        SetUp();  // a fresh record of requests, same tree
    }
    // Every file of the install directory beside the game, the record, the markers and
    // the kept validation list: what a run left of its own.
    std::vector<std::string> Leftovers() {
        std::vector<std::string> left;
        for (const auto& [name, data] : ReadTree(InstallDir())) {
            if (name.rfind("game/", 0) != 0 && name != "version.xml" && name != "redist.txt" &&
                name != "versions.xml" && name != "work/installed.validate.xml")
                left.push_back(name);
        }
        return left;
    }
    void RemoveStore() { fs::remove_all(LauncherFolder() + "/store"); }
    void EditCatalogue(const std::string& from, const std::string& to) {
        std::string xml = ReadBytes(LauncherFolder() + "/versions.xml");
        xml.replace(xml.find(from), from.size(), to);
        WriteBytes(LauncherFolder() + "/versions.xml", xml);
    }
};

TEST_F(UpdateFlowTest, InstallWithoutFullVersionsInstallsEveryVersionInOrder) {
    Publish("1", kBuild1);
    Publish("2", kBuild2);
    Publish("3", kBuild3);

    const UpdateOutcome outcome = Run(UpdateAction::kInstall);

    ASSERT_EQ(outcome.next, UpdateOutcome::Next::kNotifyWindow) << outcome.text;
    EXPECT_EQ(ReadTree(GameDir()), kBuild3);
    EXPECT_EQ(Recorded(), "3");
    EXPECT_EQ(ReadBytes(InInstall("version.xml")), "<Version Current=\"3\"/>\n");
    EXPECT_TRUE(fs::exists(InInstall("versions.xml")));
    EXPECT_TRUE(Leftovers().empty());
    std::vector<std::string> manifests;
    for (const std::string& url : net.requests()) {
        if (url.find("/manifest.xml") != std::string::npos) manifests.push_back(url);
    }
    EXPECT_EQ(manifests, (std::vector<std::string>{VersionUrl("1") + "manifest.xml",
                                                   VersionUrl("2") + "manifest.xml",
                                                   VersionUrl("3") + "manifest.xml"}));
    EXPECT_EQ(status.texts.back(), "Install Completed");
}

TEST_F(UpdateFlowTest, InstallStartsFromTheLastFullVersionAndClearsTheGame) {
    Publish("1", kBuild1, true);
    Publish("2", kBuild2, true);
    Publish("3", kBuild3);
    WriteTree(GameDir(), {{"stray.txt", "left by someone"}});

    ASSERT_EQ(Run(UpdateAction::kInstall).next, UpdateOutcome::Next::kNotifyWindow);

    EXPECT_EQ(ReadTree(GameDir()), kBuild3);
    EXPECT_EQ(Fetches("1/manifest.xml"), 0u);
    EXPECT_EQ(Fetches("2/manifest.xml"), 1u);
}

TEST_F(UpdateFlowTest, InstallOfAnEmptyCatalogueFailsToValidateAnUnpublishedVersion) {
    WriteBytes(LauncherFolder() + "/versions.xml", "<Versions Current=\"1\"/>");
    const UpdateOutcome outcome = Run(UpdateAction::kInstall);
    EXPECT_EQ(outcome.caption, "Install Failure");
    EXPECT_NE(outcome.text.find("manifest.validate.xml of version 1 could not be downloaded"),
              std::string::npos);
}

// An Update that installs one patch version: what the player reads, in order.
TEST_F(UpdateFlowTest, UpdateThroughAPatchShowsTheStatusTextsInOrder) {
    const std::string mix1 = WrittenMix({{"a.ini", "one"}, {"b.ini", "two"}});
    const std::string mix2 = WrittenMix({{"a.ini", "ONE"}, {"b.ini", "two"}});
    Publish("1", {{"game.mix", mix1}, {"readme.txt", "r"}});
    InstallAt("1");
    Publish("2", {{"game.mix", mix2}, {"readme.txt", "r"}});
    ASSERT_NE(ReadBytes(LauncherFolder() + "/2/manifest.xml").find("patch="), std::string::npos);
    status.texts.clear();

    const UpdateOutcome outcome = Run(UpdateAction::kUpdate);

    ASSERT_EQ(outcome.next, UpdateOutcome::Next::kNotifyWindow) << outcome.text;
    std::vector<std::string> texts;  // "Loading File" lines come in platform order; keep one marker
    for (const std::string& text : status.texts) {
        if (text.rfind("Loading File ", 0) == 0) {
            if (texts.empty() || texts.back() != "Loading File ...")
                texts.push_back("Loading File ...");
        } else {
            texts.push_back(text);
        }
    }
    EXPECT_EQ(
        texts,
        (std::vector<std::string>{
            // Every document first: latest's list, the manifests to apply, then
            // the installed version's list.
            "Downloading File versions.xml", "Finished downloading File versions.xml",
            "Downloading File manifest.validate.xml",
            "Finished downloading File manifest.validate.xml", "Downloading File manifest.xml",
            "Finished downloading File manifest.xml", "Downloading File manifest.validate.xml",
            "Finished downloading File manifest.validate.xml", "Loading File ...",
            "Validating Files", "Installing Version 2", "Downloading File patch-game.mix.zip",
            "Finished downloading File patch-game.mix.zip",
            "Appyling Patch File " + InInstall("work/patch/game.mix.patch"), "Loading File ...",
            "Validating Files", "Install Completed"}));
    EXPECT_EQ(ReadBytes(GameDir() + "/game.mix"), mix2);
    EXPECT_EQ(Recorded(), "2");
    EXPECT_FALSE(fs::exists(InInstall("versions.xml")));
    EXPECT_TRUE(Leftovers().empty());
}

// The decision table of the Update path, row by row.
TEST_F(UpdateFlowTest, UpdateWhenTheInstalledVersionIsNotListed) {
    Publish("1", kBuild1);
    InstallAt("1");
    EditCatalogue("Value=\"1\"", "Value=\"0.9\"");
    const UpdateOutcome outcome = Run(UpdateAction::kUpdate);
    // Nothing to install: the build is checked against the installed version, then latest.
    EXPECT_EQ(Fetches("/manifest.xml"), 0u);
    EXPECT_EQ(Fetches("1/manifest.validate.xml"), 1u);
    EXPECT_EQ(outcome.next, UpdateOutcome::Next::kNotifyWindow) << outcome.text;
}

TEST_F(UpdateFlowTest, UpdateWhenTheInstalledVersionIsTheLastValidatesTwice) {
    Publish("1", kBuild1);
    Publish("2", kBuild2);
    InstallAt("2");
    WriteBytes(InInstall("version.xml"), "<Version Current=\"2\"/>");
    ASSERT_EQ(Run(UpdateAction::kUpdate).next, UpdateOutcome::Next::kNotifyWindow);
    EXPECT_EQ(Fetches("/manifest.xml"), 0u);
    EXPECT_EQ(Fetches("2/manifest.validate.xml"), 1u) << "fetched once, proved once";
    EXPECT_EQ(Recorded(), "2");
}

TEST_F(UpdateFlowTest, UpdateThroughLaterVersionsWithoutAFullOne) {
    Publish("1", kBuild1);
    InstallAt("1");
    Publish("2", kBuild2);
    Publish("3", kBuild3);
    ASSERT_EQ(Run(UpdateAction::kUpdate).next, UpdateOutcome::Next::kNotifyWindow);
    EXPECT_EQ(ReadTree(GameDir()), kBuild3);
    EXPECT_EQ(Fetches("1/manifest.validate.xml"), 1u);
    EXPECT_EQ(Fetches("1/manifest.xml"), 0u);
    EXPECT_EQ(Fetches("2/manifest.xml"), 1u);
    EXPECT_EQ(Fetches("3/manifest.validate.xml"), 1u);
    EXPECT_EQ(Recorded(), "3");
}

TEST_F(UpdateFlowTest, UpdateAcrossAFullVersionClearsTheGameAndSkipsTheFirstValidation) {
    Publish("1", kBuild1);
    InstallAt("1");
    Publish("2", kBuild2, true);
    Publish("3", kBuild3);
    WriteTree(GameDir(), {{"stray/file.txt", "would fail validation"}});
    ASSERT_EQ(Run(UpdateAction::kUpdate).next, UpdateOutcome::Next::kNotifyWindow);
    EXPECT_EQ(ReadTree(GameDir()), kBuild3);
    EXPECT_EQ(Fetches("1/manifest.validate.xml"), 0u);
}

TEST_F(UpdateFlowTest, TypeIsFullOnlyInExactCase) {
    Publish("1", kBuild1);
    InstallAt("1");
    Publish("2", kBuild2, true);
    EditCatalogue("Type=\"Full\"", "Type=\"full\"");
    WriteTree(GameDir(), {{"stray.txt", "nothing clears the game, so validation finds it"}});
    ASSERT_EQ(Run(UpdateAction::kUpdate).next, UpdateOutcome::Next::kNotifyWindow);
    EXPECT_EQ(Fetches("1/manifest.validate.xml"), 1u);
    EXPECT_EQ(Fetches("/manifest.xml"), 1u) << "repaired, then updated";
    EXPECT_EQ(ReadTree(GameDir()), kBuild2);
}

// Whatever was done to an installed game, an update brings back exactly the published
// build, fetching from the store only the files that differ.
TEST_F(UpdateFlowTest, DamagedGameIsRepairedFetchingOnlyWhatDiffers) {
    Publish("1", kBuild1);
    Publish("2", kBuild2);
    InstallAt("2");
    struct Damage {
        const char* what;
        std::function<void()> apply;
        std::size_t fetched;
    };
    const std::vector<Damage> damages = {
        {"changed", [&] { WriteBytes(GameDir() + "/data/a.ini", "tampered"); }, 1},
        {"missing", [&] { fs::remove(GameDir() + "/game.exe"); }, 1},
        {"unexpected", [&] { WriteBytes(GameDir() + "/data/extra.txt", "x"); }, 0},
        // Fetched and unpacked at once, each object staged apart from the others.
        {"several",
         [&] {
             for (const char* name : {"game.exe", "data/a.ini", "data/c.ini", "readme.txt"})
                 WriteBytes(GameDir() + "/" + name, std::string(1 << 20, 'x'));
         },
         4},
        {"folder for a file",
         [&] {
             fs::remove(GameDir() + "/readme.txt");
             WriteTree(GameDir(), {{"readme.txt/inner.txt", "x"}});
         },
         1},
        {"an older launcher's temporaries",
         [&] {
             WriteTree(GameDir(),
                       {{"manifest.validate.xml", "x"}, {"files.zip", "x"}, {"game.exe.old", "x"}});
         },
         0},
    };
    for (const Damage& damage : damages) {
        damage.apply();
        const std::size_t before = net.requests().size();
        const UpdateOutcome outcome = Run(UpdateAction::kUpdate);
        ASSERT_EQ(outcome.next, UpdateOutcome::Next::kNotifyWindow) << damage.what << outcome.text;
        EXPECT_EQ(ReadTree(GameDir()), kBuild2) << damage.what;
        const auto fromStore = std::count_if(
            net.requests().begin() + before, net.requests().end(),
            [](const std::string& url) { return url.find("/store/") != std::string::npos; });
        EXPECT_EQ(static_cast<std::size_t>(fromStore), damage.fetched) << damage.what;
        EXPECT_EQ(Fetches("/manifest.xml"), 0u) << damage.what << ": no package was needed";
        EXPECT_EQ(Recorded(), "2");
        EXPECT_TRUE(Leftovers().empty()) << damage.what;
    }
}

// Links in the game folder are removed as links, by a repair and by a clearing alike:
// what they point to is never touched.
TEST_F(UpdateFlowTest, LinksInTheGameAreRemovedNeverFollowed) {
    const Tree outside = {{"precious.txt", "the player's own"}};
    WriteTree(temp.File("outside"), outside);
    const auto link = [&] {
        fs::create_directory_symlink(temp.File("outside"), GameDir() + "/linked");
        fs::create_symlink(temp.File("outside/precious.txt"), GameDir() + "/data/linked.txt");
    };
    Publish("1", kBuild1);
    InstallAt("1");
    link();
    ASSERT_EQ(Run(UpdateAction::kUpdate).next, UpdateOutcome::Next::kNotifyWindow);
    EXPECT_EQ(ReadTree(GameDir()), kBuild1);
    Publish("2", kBuild2, true);
    link();
    ASSERT_EQ(Run(UpdateAction::kUpdate).next, UpdateOutcome::Next::kNotifyWindow);
    EXPECT_EQ(ReadTree(GameDir()), kBuild2);
    EXPECT_EQ(ReadTree(temp.File("outside")), outside);
}

TEST_F(UpdateFlowTest, WithoutAStoreARepairIsACleanInstall) {
    Publish("1", kBuild1);
    Publish("2", kBuild2);
    InstallAt("2");
    RemoveStore();
    WriteBytes(GameDir() + "/data/a.ini", "tampered");
    ASSERT_EQ(Run(UpdateAction::kUpdate).next, UpdateOutcome::Next::kNotifyWindow);
    EXPECT_EQ(ReadTree(GameDir()), kBuild2);
    EXPECT_EQ(Fetches("1/manifest.xml"), 1u);
    EXPECT_EQ(Fetches("2/manifest.xml"), 1u);
}

// A tree whose packages do not make its own validation list, with nothing to repair
// from: the message names the files, and no record claims a version.
TEST_F(UpdateFlowTest, BuildTheTreeCannotMakeValidEndsInAMessageNamingTheFiles) {
    Publish("1", kBuild1);
    RemoveStore();
    std::string list = ReadBytes(LauncherFolder() + "/1/manifest.validate.xml");
    list.replace(list.find("checksum=\"") + 10, 1, "Z");
    WriteBytes(LauncherFolder() + "/1/manifest.validate.xml", list);

    const UpdateOutcome outcome = Run(UpdateAction::kInstall);

    EXPECT_EQ(outcome.next, UpdateOutcome::Next::kShowMessage);
    EXPECT_EQ(outcome.caption, "The build did not validate properly");
    EXPECT_EQ(outcome.text.rfind("Validation Failed\n\nchanged: ", 0), 0u) << outcome.text;
    EXPECT_FALSE(fs::exists(InInstall("version.xml")));
}

// A catalogue that does not arrive is never replaced by the copy left from before.
TEST_F(UpdateFlowTest, StaleCatalogueIsNotRead) {
    Publish("1", kBuild1);
    WriteBytes(InInstall("versions.xml"),
               "<Versions Current=\"0\"><Version Value=\"0\" Type=\"Full\"/></Versions>");
    net.FailOn(LauncherServerBaseUrl() + "versions.xml", TransferResult::kRefused);
    const UpdateOutcome outcome = Run(UpdateAction::kInstall);
    EXPECT_EQ(outcome.caption, "Install Failure");
    EXPECT_EQ(outcome.text,
              "The version catalogue versions.xml could not be downloaded: the server refused it.");
    EXPECT_FALSE(fs::exists(InInstall("versions.xml")));
    EXPECT_FALSE(fs::exists(GameDir()));
}

TEST_F(UpdateFlowTest, MalformedDocumentsEndTheRunWithAMessage) {
    struct Case {
        std::string versions;
        std::string record;  // empty: no version.xml
        UpdateAction action;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"<Versions", "", UpdateAction::kInstall, "versions.xml is not a valid XML document"},
        {"<Catalogue/>", "", UpdateAction::kInstall, "versions.xml has no \"Versions\" element"},
        {"<Versions><Version Value=\"1\"/></Versions>", "", UpdateAction::kInstall,
         "without the \"Current\" attribute"},
        {"<Versions Current=\"1\"><Version Type=\"Full\"/></Versions>", "", UpdateAction::kInstall,
         "without the \"Value\" attribute"},
        {"<Versions Current=\"1\"><Version Value=\"1\"/></Versions>", "", UpdateAction::kInstall,
         "version 1 without the \"Type\" attribute"},
        {"<Versions Current=\"1\"/>", "", UpdateAction::kUpdate, "version.xml is missing"},
        {"<Versions Current=\"1\"/>", "<Version/>", UpdateAction::kUpdate,
         "version.xml has a \"Version\" element without the \"Current\""},
        {"<Versions Current=\"1\"/>", "<Versions Current=\"1\"/>", UpdateAction::kUpdate,
         "version.xml has no \"Version\" element"},
    };
    for (const Case& c : cases) {
        WriteBytes(LauncherFolder() + "/versions.xml", c.versions);
        fs::remove(InInstall("version.xml"));
        if (!c.record.empty()) WriteBytes(InInstall("version.xml"), c.record);
        const UpdateOutcome outcome = Run(c.action);
        EXPECT_EQ(outcome.caption, "Install Failure") << c.versions;
        EXPECT_NE(outcome.text.find(c.expected), std::string::npos) << outcome.text;
    }
}

TEST_F(UpdateFlowTest, UnsafePackageEndsTheRunNamingThePackage) {
    Publish("1", kBuild1);
    RemoveStore();
    WriteZip(LauncherFolder() + "/1/files.zip", {{"readme.txt", "read me"}, {"LPT1", "x"}});
    const UpdateOutcome outcome = Run(UpdateAction::kInstall);
    EXPECT_EQ(outcome.caption, "Install Failure");
    EXPECT_EQ(outcome.text,
              "The package files.zip could not be unpacked: an entry's name reaches outside the "
              "game folder, or Windows cannot hold it (entry \"LPT1\" names a Windows device "
              "(LPT1)).");
    EXPECT_FALSE(fs::exists(InInstall("version.xml")));
}

TEST_F(UpdateFlowTest, UnreadableFileFailsValidationNamingIt) {
    if (!fs::exists("/proc/self/mem")) GTEST_SKIP();
    Publish("1", kBuild1);
    InstallAt("1");
    fs::create_symlink("/proc/self/mem", GameDir() + "/held.mix");
    const UpdateOutcome outcome = Run(UpdateAction::kUpdate);
    EXPECT_EQ(outcome.caption, "The build did not validate properly");
    EXPECT_EQ(outcome.text.rfind("Validation Failed\n\n", 0), 0u);
    EXPECT_NE(outcome.text.find("held.mix"), std::string::npos);
}

TEST_F(UpdateFlowTest, RuntimeInstallerRunsOnceAndLeavesItsMarkerEvenWhenItsDownloadFails) {
    fs::remove(InInstall("redist.txt"));
    Publish("1", kBuild1);
    fs::create_directories(temp.File("server/runtime"));
    WriteBytes(temp.File("server/runtime/vc_redist.x64.exe"), "MZ installer");

    ASSERT_EQ(Run(UpdateAction::kInstall).next, UpdateOutcome::Next::kNotifyWindow);
    ASSERT_EQ(runner.launches.size(), 1u);
    const ProcessLaunch& launch = runner.launches[0];
    EXPECT_EQ(launch.application, InInstall("vc_redist.x64.exe"));
    EXPECT_EQ(launch.commandLine, InInstall("vc_redist.x64.exe") + " /quiet /norestart");
    EXPECT_EQ(launch.directory, InstallDir());
    EXPECT_TRUE(launch.wait);
    EXPECT_EQ(status.texts[2], "Installing Visual C++ Runtime");
    EXPECT_FALSE(fs::exists(InInstall("vc_redist.x64.exe")));
    EXPECT_TRUE(fs::exists(InInstall("redist.txt")));

    // With the marker there, not even a request.
    const std::size_t before = net.requests().size();
    Run(UpdateAction::kUpdate);
    EXPECT_EQ(std::count(net.requests().begin() + before, net.requests().end(),
                         RuntimeDownloadBaseUrl() + "vc_redist.x64.exe"),
              0);
    EXPECT_EQ(runner.launches.size(), 1u);

    fs::remove(InInstall("redist.txt"));
    net.FailOn(RuntimeDownloadBaseUrl() + "vc_redist.x64.exe");
    Run(UpdateAction::kUpdate);
    EXPECT_EQ(runner.launches.size(), 1u);
    EXPECT_TRUE(fs::exists(InInstall("redist.txt")));
}

TEST(CommandLineBufferTest, HoldsLinesLongerThanTheClassicBuffer) {
    EXPECT_EQ(CommandLineBuffer("short").size(), 260u);
    const std::string line = std::string(400, 'p') + " /quiet /norestart";
    const std::vector<char> buffer = CommandLineBuffer(line);
    ASSERT_GE(buffer.size(), line.size() + 1);
    EXPECT_EQ(std::string(buffer.data()), line);
    EXPECT_EQ(std::string(CommandLineBuffer(std::string(259, 'x')).data()).size(), 259u);
}

}  // namespace
