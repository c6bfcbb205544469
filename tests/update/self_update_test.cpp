#include "update/self_update.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

#include "update/install_layout.h"
#include "update/update_test_support.h"
#include "update/web_servers.h"

namespace fs = std::filesystem;

namespace {

// The smallest header LooksLikeWindowsExecutable accepts: "MZ", e_lfanew, "PE\0\0".
std::string Executable(const std::string& body) {
    std::string bytes(64, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[0x3C] = 64;
    return bytes + std::string("PE\0\0", 4) + body;
}

class ReplaceLauncherTest : public UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        fs::create_directories(temp.File("server/update"));
        WriteBytes(InInstall("launcher.exe"), Executable("old"));
    }
    void Serve(const std::string& bytes) {
        WriteBytes(temp.File("server/update/launcher.exe"), bytes);
    }
    UpdateOutcome Replace() { return ReplaceLauncher(InstallLayout(InstallDir())); }
};

TEST_F(ReplaceLauncherTest, NewLauncherArrivesBesideTheOldAndTakesItsPlace) {
    Serve(Executable("new"));
    const UpdateOutcome outcome = Replace();
    EXPECT_EQ(outcome.next, UpdateOutcome::Next::kExitProcess);
    EXPECT_EQ(ReadBytes(InInstall("launcher.exe")), Executable("old"));
    EXPECT_EQ(ReadBytes(InInstall("launcher-new.exe")), Executable("new"));
    ASSERT_EQ(runner.launches.size(), 1u);
    EXPECT_EQ(runner.launches[0].application, InInstall("launcher-new.exe"));
    EXPECT_EQ(runner.launches[0].commandLine, "");
    EXPECT_EQ(runner.launches[0].directory, InstallDir());
    EXPECT_FALSE(runner.launches[0].wait);
    EXPECT_EQ(status.texts.back(), "Finished downloading File launcher.exe");

    // Started as launcher-new.exe, the new program moves itself over the old one.
    EXPECT_TRUE(
        FinishLauncherReplacement(InstallLayout(InstallDir()), InInstall("launcher-new.exe")));
    EXPECT_EQ(ReadBytes(InInstall("launcher.exe")), Executable("new"));
    EXPECT_FALSE(fs::exists(InInstall("launcher-new.exe")));

    // A replacement that never started is a leftover for the next ordinary start.
    WriteBytes(InInstall("launcher-new.exe"), Executable("stale"));
    EXPECT_TRUE(FinishLauncherReplacement(InstallLayout(InstallDir()), InInstall("launcher.exe")));
    EXPECT_FALSE(fs::exists(InInstall("launcher-new.exe")));
    EXPECT_EQ(ReadBytes(InInstall("launcher.exe")), Executable("new"));
}

// The player always keeps a launcher: whatever arrives that is not the release, the old
// one stays, and nothing of the attempt is left beside it.
TEST_F(ReplaceLauncherTest, OldLauncherStaysWhenTheNewOneDoesNotArriveWhole) {
    const std::string url = UpdateServerBaseUrl() + "launcher.exe";
    const std::string release = Executable("new");
    const auto announce = [&](const std::string& attributes) {
        WriteBytes(temp.File("server/update/launcher.xml"),
                   "<Version Current=\"1.0.2\" " + attributes + "/>");
    };
    const std::vector<std::function<void()>> failures = {
        [&] { fs::remove(temp.File("server/update/launcher.exe")); },
        [&] { Serve(release), net.FailOn(url, TransferResult::kUnreachable); },
        [&] { net.Clear(url), Serve(Executable(std::string(100000, 'n'))), net.CutOff(url, 5000); },
        [&] { net.Clear(url), Serve(""); },
        [&] { Serve("<html>404 Not Found</html>"); },
        [&] { Serve("MZ but nothing else"); },
        [&] { Serve(release), announce("size=\"5\""); },
        [&] { announce("sha256=\"" + std::string(64, 'A') + "\""); },
        [&] { announce(""), runner.startSucceeds = false; },
    };
    for (std::size_t i = 0; i < failures.size(); ++i) {
        failures[i]();
        const UpdateOutcome outcome = Replace();
        EXPECT_EQ(outcome.next, UpdateOutcome::Next::kShowMessage) << i;
        EXPECT_EQ(outcome.caption, "Launcher Update Failure");
        EXPECT_EQ(ReadBytes(InInstall("launcher.exe")), Executable("old")) << i;
        EXPECT_EQ(ReadTree(InstallDir()).size(), 1u) << i;
    }
    EXPECT_EQ(runner.launches.size(), 1u) << "only the start that failed";
}

TEST_F(ReplaceLauncherTest, ALauncherOfAnotherNameIsLeftAlone) {
    fs::rename(InInstall("launcher.exe"), InInstall("kestrava.exe"));
    Serve(Executable("new"));
    const UpdateOutcome outcome = Replace();
    EXPECT_EQ(outcome.next, UpdateOutcome::Next::kShowMessage);
    EXPECT_NE(outcome.text.find("launcher.exe"), std::string::npos);
    EXPECT_TRUE(net.requests().empty());
}

TEST_F(ReplaceLauncherTest, RunUpdateReplacingTheLauncherTouchesNothingElse) {
    Serve(Executable("new"));
    EXPECT_EQ(RunUpdate(UpdateAction::kReplaceLauncher, InstallLayout(InstallDir())).next,
              UpdateOutcome::Next::kExitProcess);
    EXPECT_EQ(net.requests(), (std::vector<std::string>{UpdateServerBaseUrl() + "launcher.xml",
                                                        UpdateServerBaseUrl() + "launcher.exe"}));
}

}  // namespace
