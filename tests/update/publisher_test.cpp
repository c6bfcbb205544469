// kestrava-publish's work: the tree it writes, and its verification of trees.
#include "publisher.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "mix/mix_test_support.h"
#include "update/documents.h"
#include "update/sha256.h"
#include "update/update_test_support.h"

namespace fs = std::filesystem;

namespace {

class PublisherTest : public UpdateTest {
protected:
    std::string Version(const std::string& version, const std::string& file) {
        return LauncherFolder() + "/" + version + "/" + file;
    }
    std::vector<ManifestFile> Manifest(const std::string& version) {
        return LoadInstallManifest(Version(version, "manifest.xml"), "manifest.xml");
    }
    static bool AllOk(const std::vector<ChainReport>& reports) {
        for (const ChainReport& report : reports) {
            if (!report.ok) return false;
        }
        return !reports.empty();
    }
};

TEST_F(PublisherTest, FirstVersionCarriesEveryFileInPackagesByTopFolder) {
    Publish(
        "1.0",
        {{"game.exe", "exe"}, {"data/a.ini", "a"}, {"data/sub/b.ini", "b"}, {"My Maps/x.map", "x"}},
        true);

    const VersionCatalogue catalogue =
        LoadVersionCatalogue(LauncherFolder() + "/versions.xml", "versions.xml");
    EXPECT_EQ(catalogue.current, "1.0");
    ASSERT_EQ(catalogue.versions.size(), 1u);
    EXPECT_EQ(catalogue.versions[0].type, "Full");
    std::map<std::string, std::string> packages;
    for (const ManifestFile& file : Manifest("1.0")) {
        packages[file.name] = file.package;
        EXPECT_EQ(file.checksum, Sha256Hex(ReadBytes(temp.File("builds/1.0/" + file.name))));
    }
    EXPECT_EQ(packages, (std::map<std::string, std::string>{{"game.exe", "files"},
                                                            {"data/a.ini", "files-data"},
                                                            {"data/sub/b.ini", "files-data"},
                                                            {"My Maps/x.map", "files-My_Maps"}}));
    EXPECT_EQ(LoadValidationManifest(Version("1.0", "manifest.validate.xml"), "v").size(), 4u);
    EXPECT_TRUE(fs::exists(Version("1.0", "files-My_Maps.zip")));
}

TEST_F(PublisherTest, LaterVersionCarriesDeletionsChangesAndMixPatches) {
    const std::string mix1 = WrittenMix({{"a.ini", "one"}, {"b.ini", "two"}, {"c.ini", "three"}});
    const std::string mix2 = WrittenMix({{"a.ini", "one"}, {"b.ini", "TWO"}});
    // Laid out unlike our writer: patching would give the same entries in other bytes.
    const std::string foreign1 = BuildMix({{"a.ini", 1, "one"}});
    const std::string foreign2 = BuildMix({{"a.ini", 1, "uno"}});
    Publish("1", {{"same.txt", "s"},
                  {"gone.txt", "g"},
                  {"changed.txt", "1"},
                  {"data/game.mix", mix1},
                  {"broken.mix", "not an archive"},
                  {"foreign.mix", foreign1}});
    Publish("2", {{"same.txt", "s"},
                  {"changed.txt", "2"},
                  {"data/game.mix", mix2},
                  {"new/file.txt", "n"},
                  {"broken.mix", "still not one"},
                  {"foreign.mix", foreign2}});

    std::map<std::string, ManifestFile> byName;
    for (const ManifestFile& file : Manifest("2")) byName[file.name] = file;
    EXPECT_EQ(byName.count("same.txt"), 0u);
    EXPECT_EQ(byName["gone.txt"].checksum, "");
    EXPECT_EQ(byName["changed.txt"].package, "files");
    EXPECT_EQ(byName["new/file.txt"].package, "files-new");
    EXPECT_TRUE(byName["data/game.mix"].hasPatch);
    EXPECT_EQ(byName["data/game.mix"].package, "patch-data.game.mix");
    EXPECT_FALSE(byName["broken.mix"].hasPatch);  // not an archive: shipped whole
    EXPECT_FALSE(byName["foreign.mix"].hasPatch);
    EXPECT_EQ(LoadVersionCatalogue(LauncherFolder() + "/versions.xml", "v").versions[1].type,
              "Update");

    const std::vector<ChainReport> reports = VerifyTree(ServerRoot());
    EXPECT_TRUE(AllOk(reports));
    EXPECT_EQ(reports.size(), 3u);
}

TEST_F(PublisherTest, SameBuildGivesTheSameBytes) {
    const Tree build = {{"b.txt", "b"}, {"a.txt", "a"}, {"dir/c.txt", std::string(100000, 'c')}};
    Publish("1", build);
    const Tree first = ReadTree(LauncherFolder() + "/1");
    fs::remove_all(LauncherFolder());
    fs::create_directories(LauncherFolder());
    fs::last_write_time(temp.File("builds/1/a.txt"),
                        fs::file_time_type::clock::now() - std::chrono::hours(100));
    Publish("1", build);
    EXPECT_EQ(ReadTree(LauncherFolder() + "/1"), first);
}

TEST_F(PublisherTest, RefusesWhatTheLauncherCouldNotServe) {
    Publish("1", {{"a", "a"}});
    EXPECT_THROW(Publish("1", {{"a", "b"}}), PublishError);
    EXPECT_THROW(Publish("../x", {{"a", "b"}}), PublishError);
    EXPECT_THROW(Publish("2", {{"manifest.validate.xml", "reserved"}}), PublishError);
    EXPECT_THROW(AddVersion(ServerRoot(), "3", temp.File("no-such-build"), false), PublishError);
}

TEST_F(PublisherTest, VerifyReportsEveryBrokenChain) {
    Publish("1", {{"a.txt", "a"}, {"b.txt", "b"}});
    Publish("2", {{"a.txt", "A"}, {"b.txt", "b"}});
    ASSERT_TRUE(AllOk(VerifyTree(ServerRoot())));

    // A package damaged after publishing: validation of the result catches it.
    WriteZip(Version("2", "files.zip"), {{"a.txt", "wrong"}});
    const std::vector<ChainReport> reports = VerifyTree(ServerRoot());
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].chain, "install -> 2");
    EXPECT_FALSE(reports[0].ok);
    EXPECT_NE(reports[0].message.find("Validation Failed"), std::string::npos)
        << reports[0].message;
    EXPECT_EQ(reports[1].chain, "update 1 -> 2");
    EXPECT_FALSE(reports[1].ok);
}

TEST_F(PublisherTest, ServersAndLauncherRelease) {
    PublishServers(ServerRoot(), {{"Zeta", "10.0.0.2:7777"}, {"Alpha", "play.example.net"}});
    EXPECT_EQ(ReadBytes(LauncherFolder() + "/servers.xml"),
              "<Servers>\n    <Server Name=\"Zeta\" IP=\"10.0.0.2:7777\"/>\n"
              "    <Server Name=\"Alpha\" IP=\"play.example.net\"/>\n</Servers>\n");

    std::string exe(64, '\0');
    exe[0] = 'M', exe[1] = 'Z', exe[0x3C] = 64;
    exe += std::string("PE\0\0", 4);
    WriteBytes(temp.File("launcher.exe"), exe);
    PublishLauncher(ServerRoot(), "1.0.2", temp.File("launcher.exe"));
    EXPECT_EQ(ReadBytes(temp.File("server/update/launcher.xml")), "<Version Current=\"1.0.2\"/>\n");
    EXPECT_EQ(ReadBytes(temp.File("server/update/launcher.exe")), exe);
    WriteBytes(temp.File("notes.txt"), "not a program");
    EXPECT_THROW(PublishLauncher(ServerRoot(), "1.0.3", temp.File("notes.txt")), PublishError);
}

}  // namespace
