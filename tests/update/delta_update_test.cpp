// Updates whose patches carry deltas, published with --delta and applied by the engine.
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

#include "delta/delta_format.h"
#include "mix/mix_file.h"
#include "mix/mix_test_support.h"
#include "platform/file_system.h"
#include "publisher.h"
#include "update/documents.h"
#include "update/install_layout.h"
#include "update/update_flow.h"
#include "update/update_test_support.h"
#include "update/zip_extract.h"

namespace fs = std::filesystem;

namespace {

std::string Noise(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

std::string Edited(std::string bytes, unsigned edits) {
    for (unsigned i = 1; i <= edits; ++i) bytes[bytes.size() * i / (edits + 1)] ^= 0x21;
    return bytes;
}

const std::string kExe = Noise(300000, 1);
const std::string kArt = Noise(200000, 2);

const std::string kForeign = Noise(100001, 3);  // our writer would fill it to 8 bytes
// Laid out unlike our writer: a patch by entries cannot rebuild it, a delta can.
const Tree kBuild1 = {{"foreign.mix", BuildMix({{"a.ini", 1, kForeign}})},
                      {"game.exe", kExe},
                      {"main.mix", WrittenMix({{"art.shp", kArt}, {"rules.ini", "speed=4"}})},
                      {"readme.txt", "one"}};
const Tree kBuild2 = {
    {"foreign.mix", BuildMix({{"a.ini", 1, Edited(kForeign, 2)}})},
    {"game.exe", Edited(kExe, 8)},
    {"main.mix", WrittenMix({{"art.shp", Edited(kArt, 3)}, {"rules.ini", "speed=5"}})},
    {"readme.txt", "two"}};

class DeltaUpdateTest : public UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        CreateEmptyFile(InInstall("redist.txt"));
        Publish("1", kBuild1, true);
        ASSERT_EQ(RunUpdate(UpdateAction::kInstall, InstallLayout(InstallDir())).next,
                  UpdateOutcome::Next::kNotifyWindow);
        const std::string build = temp.File("builds/2");
        fs::create_directories(build);
        WriteTree(build, kBuild2);
        PublishOptions options;
        options.deltas = true;
        options.progress = [this](const PublishProgress& now) {
            if (std::string(now.step) == "diffing") diffing.push_back(now);
        };
        AddVersion(ServerRoot(), "2", build, false, options);
    }

    void ExpectUpdatedWithRepairs(std::size_t files) {
        const UpdateOutcome outcome = RunUpdate(UpdateAction::kUpdate, InstallLayout(InstallDir()));
        ASSERT_EQ(outcome.next, UpdateOutcome::Next::kNotifyWindow) << outcome.text;
        EXPECT_EQ(ReadTree(GameDir()), kBuild2);
        EXPECT_EQ(std::count_if(net.requests().begin(), net.requests().end(),
                                [](const std::string& url) {
                                    return url.find("/store/") != std::string::npos;
                                }),
                  static_cast<std::ptrdiff_t>(files));
    }

    std::vector<PublishProgress> diffing;

    std::string Package(const std::string& name) {
        return LauncherFolder() + "/2/" + name + ".zip";
    }

    // The package's one file, edited and zipped again.
    void EditPackage(const std::string& package, const std::string& file,
                     const std::function<void(std::string&)>& edit) {
        const std::string unpacked = temp.File("unpacked");
        fs::create_directories(unpacked);
        ASSERT_EQ(ExtractZip(Package(package).c_str(), unpacked.c_str()), kExtractOk);
        std::string bytes = ReadBytes(unpacked + "/" + file);
        edit(bytes);
        WriteZip(Package(package), {{file, bytes}});
    }
};

TEST_F(DeltaUpdateTest, ChangedFilesAndEntriesTravelAsDeltasAndRebuildExactly) {
    std::map<std::string, ManifestFile> byName;
    for (const ManifestFile& file :
         LoadInstallManifest(LauncherFolder() + "/2/manifest.xml", "manifest.xml"))
        byName[file.name] = file;
    EXPECT_EQ(byName["game.exe"].patch, "game.exe.delta");
    EXPECT_EQ(byName["game.exe"].package, "patch-game.exe");
    EXPECT_EQ(byName["main.mix"].package, "patch-main.mix");
    EXPECT_EQ(byName["foreign.mix"].patch, "foreign.mix.delta");
    EXPECT_FALSE(byName["readme.txt"].hasPatch) << "three bytes: no delta pays";
    // Diffing shows its progress: the four changed files, to the last.
    ASSERT_FALSE(diffing.empty());
    EXPECT_EQ(diffing.back().totalFiles, 4u);
    EXPECT_EQ(diffing.back().files, 4u);
    // The packages carry the edits, not the files.
    EXPECT_LT(fs::file_size(Package("patch-game.exe")), kExe.size() / 50);
    EXPECT_LT(fs::file_size(Package("patch-main.mix")), kArt.size() / 50);

    ExpectUpdatedWithRepairs(0);
    for (const ChainReport& report : VerifyTree(ServerRoot()))
        EXPECT_TRUE(report.ok) << report.chain << report.message;
}

TEST_F(DeltaUpdateTest, ADeltaThatDoesNotRebuildItsFileIsRepairedFromTheStore) {
    // The promised hash of the file's delta, and the first frame of the entry's.
    EditPackage("patch-game.exe", "game.exe.delta", [](std::string& delta) { delta[30] ^= 1; });
    EditPackage("patch-main.mix", "main.mix.patch", [](std::string& patch) {
        const std::size_t delta = patch.find(std::string(kDeltaMagic, 4));
        ASSERT_NE(delta, std::string::npos);
        patch[delta + 60] ^= 0x55;  // inside its first frame
    });
    ExpectUpdatedWithRepairs(2);  // game.exe and main.mix
}

// A patch of a format this launcher does not know is refused whole: the archive stays as
// it was until the store's copy replaces it.
TEST_F(DeltaUpdateTest, APatchOfAnUnknownFormatVersionIsRepairedFromTheStore) {
    EditPackage("patch-main.mix", "main.mix.patch", [](std::string& patch) {
        const std::size_t version = patch.find("\"version\":2");
        ASSERT_NE(version, std::string::npos);
        patch[version + 10] = '3';
    });
    ExpectUpdatedWithRepairs(1);
}

}  // namespace
