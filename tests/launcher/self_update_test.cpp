#include "launcher/self_update.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

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
    UpdateOutcome Replace() { return ReplaceLauncher(InstallDir()); }
};

TEST_F(ReplaceLauncherTest, NewLauncherIsStartedAndTheProcessEnds) {
    Serve(Executable("new"));
    const UpdateOutcome outcome = Replace();
    EXPECT_EQ(outcome.next, UpdateOutcome::Next::kExitProcess);
    EXPECT_EQ(ReadBytes(InInstall("launcher.exe")), Executable("new"));
    EXPECT_EQ(ReadBytes(InInstall("launcher.ex_")), Executable("old"));
    ASSERT_EQ(runner.launches.size(), 1u);
    EXPECT_EQ(runner.launches[0].application, InInstall("launcher.exe"));
    EXPECT_EQ(runner.launches[0].commandLine, "");
    EXPECT_EQ(runner.launches[0].directory, InstallDir());
    EXPECT_FALSE(runner.launches[0].wait);
    EXPECT_EQ(status.texts.back(), "Finished downloading File launcher.exe");
}

// The player always keeps a launcher: whatever arrives that is not one, the old one returns.
TEST_F(ReplaceLauncherTest, OldLauncherIsPutBackWhenTheNewOneDoesNotArrive) {
    const std::string url = UpdateServerBaseUrl() + "launcher.exe";
    const std::vector<std::function<void()>> failures = {
        [&] { fs::remove(temp.File("server/update/launcher.exe")); },
        [&] { Serve(Executable("new")), net.FailOn(url, TransferResult::kUnreachable); },
        [&] { net.Clear(url), Serve(Executable(std::string(100000, 'n'))), net.CutOff(url, 5000); },
        [&] { net.Clear(url), Serve(""); },
        [&] { Serve("<html>404 Not Found</html>"); },
        [&] { Serve("MZ but nothing else"); },
    };
    for (std::size_t i = 0; i < failures.size(); ++i) {
        failures[i]();
        const UpdateOutcome outcome = Replace();
        EXPECT_EQ(outcome.next, UpdateOutcome::Next::kShowMessage) << i;
        EXPECT_EQ(outcome.caption, "Launcher Update Failure");
        EXPECT_EQ(ReadBytes(InInstall("launcher.exe")), Executable("old")) << i;
        EXPECT_FALSE(fs::exists(InInstall("launcher.ex_"))) << i;
    }
    EXPECT_TRUE(runner.launches.empty());
}

TEST_F(ReplaceLauncherTest, ALauncherOfAnotherNameIsLeftAlone) {
    fs::rename(InInstall("launcher.exe"), InInstall("kestrava.exe"));
    Serve(Executable("new"));
    const UpdateOutcome outcome = Replace();
    EXPECT_EQ(outcome.next, UpdateOutcome::Next::kShowMessage);
    EXPECT_NE(outcome.text.find("launcher.exe"), std::string::npos);
    EXPECT_TRUE(net.requests().empty());
}

TEST_F(ReplaceLauncherTest, RunUpdateWithActionThreeReplacesTheLauncherAlone) {
    Serve(Executable("new"));
    EXPECT_EQ(RunUpdate(3, InstallDir()).next, UpdateOutcome::Next::kExitProcess);
    EXPECT_EQ(net.requests(), std::vector<std::string>{UpdateServerBaseUrl() + "launcher.exe"});
}

}  // namespace
