#include "update/opening.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/path.h"
#include "recording_status.h"
#include "scripted_downloader.h"
#include "update/install_layout.h"
#include "update/web_servers.h"

namespace {

class OpeningTest : public ::testing::Test {
protected:
    OpeningTest() { SetStatusSink(&status); }
    ~OpeningTest() override { SetStatusSink(nullptr); }

    // A recorded version whose kept list names one file, game/a.txt of four bytes.
    void Installed(const std::string& version) {
        std::filesystem::create_directories(dir.path() / "game");
        std::filesystem::create_directories(dir.path() / "work");
        WriteBytes(dir.File("version.xml"), "<Version Current=\"" + version + "\"/>");
        WriteBytes(dir.File("game/a.txt"), "aaaa");
        WriteBytes(
            dir.File("work/installed.validate.xml"),
            "<Game_Manifest><File name=\"a.txt\" checksum=\"X\" size=\"4\"/></Game_Manifest>");
    }
    void Latest(const std::string& version) {
        net.Serve(
            LauncherServerBaseUrl() + "versions.xml",
            "<Versions Current=\"" + version + "\"><Version Name=\"" + version + "\"/></Versions>");
    }

    RecordingStatus status;
    ScriptedDownloader net;
    TempDir dir;
    const std::string launcherXml = UpdateServerBaseUrl() + "launcher.xml";
};

}  // namespace

TEST_F(OpeningTest, LauncherVersionMustMatchByteForByte) {
    net.Serve(launcherXml, "<Version Current=\"1.0.1\"/>");
    EXPECT_EQ(TestLauncherVersion(InstallLayout(dir.path().string())),
              LauncherVersionStatus::kCurrent);
    for (const char* other : {"1.0.0", "1.0.1 ", "1.0.10", "2.0"}) {
        net.Serve(launcherXml, std::string("<Version Current=\"") + other + "\"/>");
        EXPECT_EQ(TestLauncherVersion(InstallLayout(dir.path().string())),
                  LauncherVersionStatus::kOutOfDate)
            << other;
    }
    EXPECT_FALSE(FileExists(dir.File("launcher.xml")));
}

TEST_F(OpeningTest, UnreadableLauncherXmlLeavesTheVersionUnknown) {
    for (const char* bad : {"", "not xml", "<Launcher Current=\"1.0.1\"/>", "<Version/>"}) {
        net.Serve(launcherXml, bad);
        EXPECT_EQ(TestLauncherVersion(InstallLayout(dir.path().string())),
                  LauncherVersionStatus::kUnknown)
            << bad;
    }
    net.Fail(launcherXml, TransferResult::kRefused);
    EXPECT_EQ(TestLauncherVersion(InstallLayout(dir.path().string())),
              LauncherVersionStatus::kUnknown);
}

TEST_F(OpeningTest, LeftoverPreviousLauncherIsDeletedEveryTime) {
    WriteBytes(dir.File("launcher.ex_"), "old");
    net.Fail(launcherXml, TransferResult::kUnreachable);
    TestLauncherVersion(InstallLayout(dir.path().string()));
    EXPECT_FALSE(FileExists(dir.File("launcher.ex_")));
}

TEST_F(OpeningTest, GameStateFollowsTheFolderAndTheTwoVersions) {
    const std::string install = dir.path().string();
    EXPECT_EQ(DecideGameState(InstallLayout(install)), GameState::kNeedsInstall);
    EXPECT_TRUE(net.requests.empty()) << "an install needs no catalogue";

    std::filesystem::create_directory(dir.path() / "game");
    EXPECT_EQ(DecideGameState(InstallLayout(install)), GameState::kNeedsInstall)
        << "game folder without version.xml";

    Installed("1.2");
    Latest("1.2");
    EXPECT_EQ(DecideGameState(InstallLayout(install)), GameState::kCurrent);
    EXPECT_FALSE(FileExists(dir.File("versions.xml")));
    EXPECT_EQ(status.texts.back(), "Finished downloading File versions.xml");

    Latest("1.3");
    EXPECT_EQ(DecideGameState(InstallLayout(install)), GameState::kNeedsUpdate);

    // The quick look: a listed file gone or resized, or no list at all, needs a repair.
    Latest("1.2");
    const std::vector<std::function<void()>> damages = {
        [&] { std::filesystem::remove(dir.File("game/a.txt")); },
        [&] { WriteBytes(dir.File("game/a.txt"), "aaaaa"); },
        [&] { std::filesystem::remove(dir.File("work/installed.validate.xml")); },
    };
    for (std::size_t i = 0; i < damages.size(); ++i) {
        Installed("1.2");
        damages[i]();
        EXPECT_EQ(DecideGameState(InstallLayout(install)), GameState::kNeedsUpdate) << i;
    }
    Installed("a1");
    Latest("A1");
    EXPECT_EQ(DecideGameState(InstallLayout(install)), GameState::kNeedsUpdate) << "case matters";
}

TEST_F(OpeningTest, UnreadableCatalogueOrRecordIsReportedNotGuessed) {
    const std::string install = dir.path().string();
    Installed("1.2");
    net.Fail(LauncherServerBaseUrl() + "versions.xml", TransferResult::kRefused);
    EXPECT_EQ(DecideGameState(InstallLayout(install)), GameState::kCatalogueUnreadable);
    net.Serve(LauncherServerBaseUrl() + "versions.xml", "<Versions/>");
    EXPECT_EQ(DecideGameState(InstallLayout(install)), GameState::kCatalogueUnreadable);
    Latest("1.2");
    WriteBytes(dir.File("version.xml"), "<Version Current=\"1.2\"");
    EXPECT_EQ(DecideGameState(InstallLayout(install)), GameState::kCatalogueUnreadable);
}

TEST_F(OpeningTest, ServerListKeepsFileOrderAndSkipsIncompleteEntries) {
    net.Serve(
        LauncherServerBaseUrl() + "servers.xml",
        "<Servers><Server Name=\"Zeta\" IP=\"10.0.0.9:7777\"/><Other Name=\"x\" IP=\"y\"/>"
        "<Server Name=\"Alpha\" IP=\"10.0.0.1\"/><Server Name=\"NoIp\"/><Server IP=\"1.1.1.1\"/>"
        "<Server Name=\"Alpha\" IP=\"10.0.0.2\"/></Servers>");
    const auto servers = LoadServerList(InstallLayout(dir.path().string()));
    ASSERT_TRUE(servers);
    ASSERT_EQ(servers->size(), 3u);
    EXPECT_EQ((*servers)[0].name, "Zeta");
    EXPECT_EQ((*servers)[0].address, "10.0.0.9:7777");
    EXPECT_EQ((*servers)[1].address, "10.0.0.1");
    EXPECT_EQ((*servers)[2].address, "10.0.0.2");
    EXPECT_FALSE(FileExists(dir.File("servers.xml")));
}

TEST_F(OpeningTest, MissingOrRootlessServerListIsNoList) {
    EXPECT_FALSE(LoadServerList(InstallLayout(dir.path().string())));
    net.Serve(LauncherServerBaseUrl() + "servers.xml",
              "<List><Server Name=\"a\" IP=\"b\"/></List>");
    EXPECT_FALSE(LoadServerList(InstallLayout(dir.path().string())));
    net.Serve(LauncherServerBaseUrl() + "servers.xml", "<Servers/>");
    EXPECT_EQ(LoadServerList(InstallLayout(dir.path().string()))->size(), 0u);
}
