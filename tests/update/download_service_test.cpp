#include "update/download_service.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/folder_downloader.h"
#include "platform/path.h"
#include "recording_status.h"
#include "temp_dir.h"

namespace {

class DownloadFileTest : public ::testing::Test {
protected:
    DownloadFileTest() {
        std::filesystem::create_directories(server.path() / "1.2" / "data");
        net.Map(kBase, server.path().string());
        SetDownloader(&net);
        SetStatusSink(&status);
    }
    ~DownloadFileTest() override {
        SetStatusSink(nullptr);
        SetDownloader(nullptr);
    }

    static constexpr char kBase[] = "https://files.test/launcher/";
    TempDir server;
    TempDir local;
    FolderDownloader net;
    RecordingStatus status;
};

}  // namespace

TEST_F(DownloadFileTest, ShowsOnlyTheFileNameAndReplacesAnEarlierCopy) {
    WriteBytes(server.File("1.2/data/pack.zip"), "new bytes");
    std::filesystem::create_directories(local.path() / "1.2" / "data");
    WriteBytes(local.File("1.2/data/pack.zip"), "an older, longer copy");

    EXPECT_EQ(DownloadFile(kBase, local.path().string(), "1.2/data/pack.zip"),
              TransferResult::kCompleted);
    EXPECT_EQ(ReadBytes(local.File("1.2/data/pack.zip")), "new bytes");
    ASSERT_GE(status.texts.size(), 2u);
    EXPECT_EQ(status.texts.front(), "Downloading File pack.zip");
    EXPECT_EQ(status.texts.back(), "Finished downloading File pack.zip");
    EXPECT_EQ(status.progress.back(), std::make_pair(std::uint64_t{9}, std::uint64_t{9}));
    EXPECT_EQ(net.forgotten(), std::vector<std::string>{std::string(kBase) + "1.2/data/pack.zip"});
}

TEST_F(DownloadFileTest, AFailedTransferLeavesNoFileRatherThanAStaleOne) {
    WriteBytes(local.File("versions.xml"), "<Versions Current=\"old\"/>");
    EXPECT_EQ(DownloadFile(kBase, local.path().string(), "versions.xml"), TransferResult::kRefused);
    EXPECT_FALSE(FileExists(local.File("versions.xml")));
    EXPECT_TRUE(status.texts.empty()) << "a refused transfer reports nothing of its own";
    EXPECT_EQ(net.forgotten().size(), 1u) << "the cache entry goes even after a failure";
}

TEST_F(DownloadFileTest, ACutOffTransferLeavesNeitherTheFileNorItsPart) {
    WriteBytes(server.File("big.bin"), std::string(100000, 'x'));
    net.CutOff(std::string(kBase) + "big.bin", 4096);
    EXPECT_NE(DownloadFile(kBase, local.path().string(), "big.bin"), TransferResult::kCompleted);
    EXPECT_FALSE(FileExists(local.File("big.bin")));
    EXPECT_FALSE(FileExists(local.File("big.bin.part")));
}

TEST_F(DownloadFileTest, TheSameUrlTwiceIsFetchedTwice) {
    WriteBytes(server.File("servers.xml"), "<Servers/>");
    DownloadFile(kBase, local.path().string(), "servers.xml");
    WriteBytes(server.File("servers.xml"), "<Servers><Server Name=\"a\" IP=\"b\"/></Servers>");
    DownloadFile(kBase, local.path().string(), "servers.xml");
    EXPECT_EQ(net.requests().size(), 2u);
    EXPECT_EQ(ReadBytes(local.File("servers.xml")),
              "<Servers><Server Name=\"a\" IP=\"b\"/></Servers>");
}
