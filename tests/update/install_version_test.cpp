// InstallVersion against manifests written by hand, for the cases the publisher never
// produces: shared packages, a package both whole and as a patch, broken inputs.
#include "update/install_version.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

#include "mix/mix_file.h"
#include "mix/mix_test_support.h"
#include "update/update_error.h"
#include "update/update_test_support.h"

namespace fs = std::filesystem;

namespace {

struct Entry {
    std::string package, name, checksum, patch = {};
};

class InstallVersionTest : public UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        fs::create_directories(GameDir());
        fs::create_directories(WorkDir());
    }
    std::string WorkDir() const { return InInstall("work"); }

    std::string Folder(const std::string& version) { return LauncherFolder() + "/" + version; }

    void WriteManifest(const std::string& version, const std::vector<Entry>& entries) {
        std::string xml = "<Game_Manifest>\n";
        for (const Entry& e : entries) {
            xml += "<File package=\"" + e.package + "\" name=\"" + e.name + "\" checksum=\"" +
                   e.checksum + "\"";
            if (!e.patch.empty()) xml += " patch=\"" + e.patch + "\"";
            xml += "/>\n";
        }
        fs::create_directories(Folder(version));
        WriteBytes(Folder(version) + "/manifest.xml", xml + "</Game_Manifest>\n");
    }
    void WritePackage(const std::string& version, const std::string& package,
                      const std::vector<ZipEntrySpec>& entries) {
        fs::create_directories(Folder(version));
        WriteZip(Folder(version) + "/" + package + ".zip", entries);
    }
    std::size_t Fetches(const std::string& url) {
        return static_cast<std::size_t>(
            std::count(net.requests().begin(), net.requests().end(), url));
    }
    // The InstallError's sentence, or "" when nothing was raised.
    std::string InstallErrorOf(const std::string& version) {
        try {
            InstallVersion(GameDir(), WorkDir(), version);
        } catch (const InstallError& error) {
            return error.what();
        }
        return "";
    }

    static std::string Descriptor(const std::string& json) { return json; }
    static std::string PatchArchive(const std::string& descriptor,
                                    const std::vector<RawEntry>& entries) {
        std::vector<RawEntry> all{{".vantle.patch", 1, descriptor}};
        all.insert(all.end(), entries.begin(), entries.end());
        return BuildMix(all);
    }
    std::vector<RawEntry> ArchiveAt(const std::string& path) {
        MixFile archive(path);
        std::vector<RawEntry> contents = Contents(archive);
        ReleaseMixEntries();
        return contents;
    }
};

TEST_F(InstallVersionTest, DeletesFirstThenUnpacksEachPackageOnce) {
    WriteTree(GameDir(), {{"old.txt", "old"}, {"keep.txt", "keep"}});
    WriteManifest("2", {{"unused", "old.txt", ""},
                        {"pkg", "a.txt", "X"},
                        {"pkg", "b/c.txt", "X"},
                        {"other", "d.txt", "X"}});
    WritePackage("2", "pkg", {{"a.txt", "a"}, {"b/c.txt", "c"}});
    WritePackage("2", "other", {{"d.txt", "d"}});

    InstallVersion(GameDir(), WorkDir(), "2");

    EXPECT_EQ(ReadTree(GameDir()),
              (Tree{{"keep.txt", "keep"}, {"a.txt", "a"}, {"b/c.txt", "c"}, {"d.txt", "d"}}));
    EXPECT_EQ(Fetches(VersionUrl("2") + "pkg.zip"), 1u);
    EXPECT_EQ(Fetches(VersionUrl("2") + "unused.zip"), 0u);
    // Packages in ascending order, after the manifest.
    EXPECT_EQ(net.requests(), (std::vector<std::string>{VersionUrl("2") + "manifest.xml",
                                                        VersionUrl("2") + "other.zip",
                                                        VersionUrl("2") + "pkg.zip"}));
    EXPECT_NE(std::find(status.texts.begin(), status.texts.end(), "Installing Version 2"),
              status.texts.end());
    EXPECT_NE(
        std::find(status.texts.begin(), status.texts.end(), "Finished downloading File pkg.zip"),
        status.texts.end());
}

TEST_F(InstallVersionTest, PackageBothWholeAndPatchIsFetchedOnceAndUnpackedWholeFirst) {
    WriteBytes(GameDir() + "/game.mix", BuildMix({{"a.ini", 10, "A"}, {"b.ini", 20, "B"}}));
    WriteManifest("2", {{"both", "game.mix", "X", "game.patch"}, {"both", "readme.txt", "X"}});
    WritePackage(
        "2", "both",
        {{"readme.txt", "read me"},
         {"game.patch", PatchArchive(R"({"removedFiles":["a.ini"],"updatedFiles":["b.ini"]})",
                                     {{"b.ini", 20, "new B"}})}});

    InstallVersion(GameDir(), WorkDir(), "2");

    EXPECT_EQ(Fetches(VersionUrl("2") + "both.zip"), 1u);
    EXPECT_EQ(ArchiveAt(GameDir() + "/game.mix"), (std::vector<RawEntry>{{"b.ini", 20, "new B"}}));
    EXPECT_EQ(ReadBytes(GameDir() + "/readme.txt"), "read me");
    // The whole package put game.patch in the game too; nothing fetched or staged did,
    // nor stays in the work folder.
    EXPECT_EQ(ReadTree(GameDir()).size(), 3u);
    EXPECT_EQ(ReadTree(WorkDir()).size(), 0u);
    EXPECT_NE(std::find(status.texts.begin(), status.texts.end(),
                        "Appyling Patch File " + WorkDir() + "/patch/game.patch"),
              status.texts.end());
}

TEST_F(InstallVersionTest, OnlyTheLaterPatchOfAPackageIsApplied) {
    WriteBytes(GameDir() + "/one.mix", BuildMix({{"a.ini", 1, "1"}}));
    WriteBytes(GameDir() + "/two.mix", BuildMix({{"a.ini", 1, "2"}}));
    WriteManifest("2", {{"p", "one.mix", "X", "p1.patch"}, {"p", "two.mix", "X", "p2.patch"}});
    const std::string patch =
        PatchArchive(R"({"removedFiles":[],"updatedFiles":["a.ini"]})", {{"a.ini", 1, "patched"}});
    WritePackage("2", "p", {{"p1.patch", patch}, {"p2.patch", patch}});

    InstallVersion(GameDir(), WorkDir(), "2");

    EXPECT_EQ(ArchiveAt(GameDir() + "/one.mix"), (std::vector<RawEntry>{{"a.ini", 1, "1"}}));
    EXPECT_EQ(ArchiveAt(GameDir() + "/two.mix"), (std::vector<RawEntry>{{"a.ini", 1, "patched"}}));
}

TEST_F(InstallVersionTest, FailedPatchGivesTheArchiveItsNameBack) {
    const std::string original = BuildMix({{"a.ini", 1, "original"}});
    WriteBytes(GameDir() + "/game.mix", original);
    WriteManifest("2", {{"p", "game.mix", "X", "game.patch"}});
    WritePackage("2", "p", {{"game.patch", PatchArchive("this is not JSON", {})}});

    const std::string error = InstallErrorOf("2");

    EXPECT_NE(error.find("game.patch"), std::string::npos) << error;
    EXPECT_EQ(ReadBytes(GameDir() + "/game.mix"), original);
    EXPECT_EQ(ReadTree(GameDir()).size(), 1u);
}

TEST_F(InstallVersionTest, PatchWithoutItsTargetIsAnError) {
    WriteManifest("2", {{"p", "missing.mix", "X", "game.patch"}});
    WritePackage("2", "p",
                 {{"game.patch", PatchArchive(R"({"removedFiles":[],"updatedFiles":[]})", {})}});
    EXPECT_NE(InstallErrorOf("2").find("missing.mix"), std::string::npos);
}

TEST_F(InstallVersionTest, PackagesThatDoNotArriveOrExtractWholeEndTheInstall) {
    WriteManifest("2", {{"pkg", "a.txt", "X"}});
    EXPECT_NE(InstallErrorOf("2").find("pkg.zip could not be downloaded"), std::string::npos);

    WritePackage("2", "pkg", {{"a.txt", std::string(200000, 'a')}});
    net.CutOff(VersionUrl("2") + "pkg.zip", 1000);
    EXPECT_NE(InstallErrorOf("2").find("pkg.zip could not be downloaded"), std::string::npos);
    net.Clear(VersionUrl("2") + "pkg.zip");

    WritePackage("2", "pkg", {{"a.txt", "a"}, {"../../COM1.txt", "x"}});
    EXPECT_NE(InstallErrorOf("2").find("pkg.zip could not be unpacked"), std::string::npos);

    WriteBytes(Folder("2") + "/pkg.zip", "garbage");
    EXPECT_NE(InstallErrorOf("2").find("pkg.zip could not be unpacked"), std::string::npos);
    EXPECT_EQ(ReadTree(WorkDir()).size(), 0u);
    EXPECT_EQ(ReadTree(GameDir()).count("pkg.zip"), 0u);
}

// Each download runs beside the work on the package before it; on one thread or two the
// game ends the same, and a package that fails leaves the game as it was.
TEST_F(InstallVersionTest, DownloadsBesideTheWorkGiveTheSameGameOnAnyThreadCount) {
    const std::string original = BuildMix({{"a.ini", 1, "A"}, {"b.ini", 2, "B"}});
    const Tree before{{"old.txt", "old"}, {"keep.txt", "keep"}, {"game.mix", original}};
    WriteManifest("2", {{"", "old.txt", ""},
                        {"a", "a/1.txt", "X"},
                        {"b", "b/2.txt", "X"},
                        {"c", "keep.txt", "X"},
                        {"p", "game.mix", "X", "game.patch"}});
    WritePackage("2", "a", {{"a/1.txt", std::string(3000, '1')}});
    WritePackage("2", "b", {{"b/2.txt", "two"}});
    WritePackage("2", "c", {{"keep.txt", "kept anew"}});
    WritePackage(
        "2", "p",
        {{"game.patch", PatchArchive(R"({"removedFiles":["a.ini"],"updatedFiles":[]})", {})}});
    const Tree after{
        {"keep.txt", "kept anew"}, {"a/1.txt", std::string(3000, '1')}, {"b/2.txt", "two"}};
    WriteBytes(temp.File("original.mix"), original);
    for (const char* threads : {"1", "2"}) {
        setenv("KESTRAVA_THREADS", threads, 1);
        for (const bool failing : {false, true}) {
            SCOPED_TRACE(std::string(threads) + (failing ? " threads, b refused" : " threads"));
            fs::remove_all(GameDir());
            WriteTree(GameDir(), before);
            if (failing) net.FailOn(VersionUrl("2") + "b.zip", TransferResult::kRefused);
            const std::string error = InstallErrorOf("2");
            net.Clear(VersionUrl("2") + "b.zip");
            EXPECT_EQ(ArchiveAt(GameDir() + "/game.mix"),
                      failing ? ArchiveAt(temp.File("original.mix"))
                              : (std::vector<RawEntry>{{"b.ini", 2, "B"}}));
            fs::remove(GameDir() + "/game.mix");
            Tree expected = failing ? before : after;
            expected.erase("game.mix");
            EXPECT_EQ(ReadTree(GameDir()), expected);
            EXPECT_EQ(error.find("b.zip could not be downloaded") != std::string::npos, failing)
                << error;
        }
    }
    unsetenv("KESTRAVA_THREADS");
}

// The next version's first package arrives beside the last step of the version before,
// though both call their package alike; its refusal comes once the earlier one is in place.
TEST_F(InstallVersionTest, NextVersionsFirstPackageArrivesBesideTheLastStepBeforeIt) {
    WriteManifest("2", {{"a", "one.txt", "X"}, {"b", "two.txt", "X"}});
    WritePackage("2", "a", {{"one.txt", "one of 2"}});
    WritePackage("2", "b", {{"two.txt", "two of 2"}});
    WriteManifest("3", {{"a", "one.txt", "X"}, {"c", "three.txt", "X"}});
    WritePackage("3", "a", {{"one.txt", "one of 3"}});
    WritePackage("3", "c", {{"three.txt", "three of 3"}});
    for (const char* threads : {"1", "2"}) {
        setenv("KESTRAVA_THREADS", threads, 1);
        for (const bool failing : {false, true}) {
            SCOPED_TRACE(std::string(threads) + (failing ? " threads, 3's a refused" : " threads"));
            fs::remove_all(GameDir());
            fs::create_directories(GameDir());
            if (failing) net.FailOn(VersionUrl("3") + "a.zip", TransferResult::kRefused);
            CatalogueVersion second, third;
            second.value = "2";
            third.value = "3";
            const std::vector<VersionToInstall> versions{{second, FetchManifest(WorkDir(), second)},
                                                         {third, FetchManifest(WorkDir(), third)}};
            const std::size_t before = Fetches(VersionUrl("3") + "a.zip");
            TakeTexts();
            std::string error;
            try {
                InstallVersions(GameDir(), WorkDir(), versions, {});
            } catch (const InstallError& e) {
                error = e.what();
            }
            net.Clear(VersionUrl("3") + "a.zip");
            const std::vector<std::string> texts = TakeTexts();
            const auto thirdStarts = std::find(texts.begin(), texts.end(), "Installing Version 3");
            EXPECT_EQ(std::count_if(texts.begin(), thirdStarts,
                                    [](const std::string& text) {
                                        return text.rfind("Downloading File ", 0) == 0;
                                    }),
                      failing ? 2 : 3);
            EXPECT_EQ(Fetches(VersionUrl("3") + "a.zip") - before, 1u);
            EXPECT_EQ(thirdStarts == texts.end(), failing);
            const Tree secondOnly{{"one.txt", "one of 2"}, {"two.txt", "two of 2"}};
            const Tree both{
                {"one.txt", "one of 3"}, {"two.txt", "two of 2"}, {"three.txt", "three of 3"}};
            EXPECT_EQ(ReadTree(GameDir()), failing ? secondOnly : both);
            EXPECT_EQ(ReadTree(WorkDir()), Tree{});
            EXPECT_EQ(error.find("a.zip could not be downloaded") != std::string::npos, failing)
                << error;
        }
    }
    unsetenv("KESTRAVA_THREADS");
}

TEST_F(InstallVersionTest, MalformedManifestsNameTheFileAndTheFault) {
    const std::string folder = Folder("2");
    fs::create_directories(folder);
    EXPECT_NE(InstallErrorOf("2").find("manifest.xml of version 2 could not be downloaded"),
              std::string::npos);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<Game_Manifest><File", "not a valid XML document"},
        {"<Versions/>", "no \"Game_Manifest\" element"},
        {"<Game_Manifest><File name=\"a\" checksum=\"X\"/></Game_Manifest>",
         "without the \"package\" attribute"},
        {"<Game_Manifest><File package=\"p\" checksum=\"X\"/></Game_Manifest>",
         "without the \"name\" attribute"},
        {"<Game_Manifest><File package=\"p\" name=\"a\"/></Game_Manifest>",
         "without the \"checksum\" attribute"},
    };
    for (const auto& [xml, fault] : cases) {
        WriteBytes(folder + "/manifest.xml", xml);
        const std::string error = InstallErrorOf("2");
        EXPECT_NE(error.find("manifest.xml of version 2"), std::string::npos) << error;
        EXPECT_NE(error.find(fault), std::string::npos) << error;
    }
}

TEST_F(InstallVersionTest, ManifestNamesCannotReachOutsideTheGame) {
    WriteBytes(InInstall("launcher.exe"), "keep me");
    for (const char* name :
         {"../launcher.exe", "/nonexistent-kestrava/x", "C:/Windows/x", "a/../../launcher.exe"}) {
        WriteManifest("2", {{"", name, ""}});
        EXPECT_NE(InstallErrorOf("2").find("outside the game folder"), std::string::npos) << name;
    }
    WriteManifest("2", {{"../escape", "a.txt", "X"}});
    EXPECT_NE(InstallErrorOf("2").find("outside the game folder"), std::string::npos);
    EXPECT_EQ(ReadBytes(InInstall("launcher.exe")), "keep me");
}

}  // namespace
