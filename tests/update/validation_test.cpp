#include "update/validation.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

#include "hash/sha256.h"
#include "platform/worker_threads.h"
#include "scoped_environment.h"
#include "thread_count.h"
#include "update/update_error.h"
#include "update/update_test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kEmptyDigest = "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855";

// The ways validation hashes, as KESTRAVA_SHA256 forces them: one stream on the processor's
// best engine, and where AVX2 is, eight files at once in lanes.
std::vector<std::string> HashingPaths() {
    std::vector<std::string> paths = {Sha256EngineName(Sha256AutoEngine())};
    if (Sha256EngineAvailable(Sha256Engine::kAvx2)) paths.push_back("lanes");
    return paths;
}

class ValidateFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Game());
        SetStatusSink(&status);
    }
    void TearDown() override { SetStatusSink(nullptr); }

    std::string Game() const { return temp.File("game"); }
    std::string Manifest() const { return temp.File("game/manifest.validate.xml"); }

    void WriteManifest(const std::vector<std::pair<std::string, std::string>>& files) {
        std::string xml = "<Game_Manifest>\n";
        for (const auto& [name, checksum] : files) {
            xml += "  <File name=\"" + name + "\" checksum=\"" + checksum + "\"/>\n";
        }
        WriteBytes(Manifest(), xml + "</Game_Manifest>\n");
    }
    bool Validate() { return ValidateFiles(Manifest(), Game()); }

    TempDir temp;
    RecordingStatus status;
};

TEST_F(ValidateFilesTest, EmptyFolderAndManifestOnlyValidate) {
    WriteManifest({});
    EXPECT_TRUE(Validate());
}

TEST_F(ValidateFilesTest, ChecksumsCompareExactly) {
    WriteTree(Game(), {{"empty.bin", ""}, {"data/a.ini", "a"}});
    WriteManifest({{"empty.bin", kEmptyDigest}, {"data/a.ini", Sha256Hex("a")}});
    EXPECT_TRUE(Validate());

    std::string lower = Sha256Hex("a");
    for (char& c : lower) c = static_cast<char>(std::tolower(c));
    WriteManifest({{"empty.bin", kEmptyDigest}, {"data/a.ini", lower}});
    EXPECT_FALSE(Validate());
}

TEST_F(ValidateFilesTest, NamesCompareExactlyWithSlashes) {
    WriteTree(Game(), {{"dir/sub/file", "f"}});
    WriteManifest({{"Dir/sub/file", Sha256Hex("f")}});
    EXPECT_FALSE(Validate());
    WriteManifest({{"dir\\sub\\file", Sha256Hex("f")}});
    EXPECT_FALSE(Validate());
    WriteManifest({{"dir/sub/file", Sha256Hex("f")}});
    EXPECT_TRUE(Validate());
}

// Every problem is named, of each kind: a listed file that is not on disk (or is a
// folder) fails like a changed or an unlisted one.
TEST_F(ValidateFilesTest, ReportNamesEveryMissingChangedAndUnexpectedFile) {
    WriteTree(Game(), {{"a", "a"}, {"b", "changed"}, {"deep/er/extra", "x"}, {"dir/file", "f"}});
    WriteManifest({{"a", Sha256Hex("a")},
                   {"b", Sha256Hex("b")},
                   {"gone", Sha256Hex("gone")},
                   {"dir", Sha256Hex("f")},
                   {"dir/file", Sha256Hex("f")}});
    const ValidationReport report = ValidateBuild(Manifest(), Game(), "list");
    std::vector<std::pair<std::string, FileProblemKind>> problems;
    for (const FileProblem& problem : report.problems)
        problems.emplace_back(problem.name, problem.kind);
    std::sort(problems.begin(), problems.end());
    EXPECT_EQ(problems, (std::vector<std::pair<std::string, FileProblemKind>>{
                            {"b", FileProblemKind::kChanged},
                            {"deep/er/extra", FileProblemKind::kUnexpected},
                            {"dir", FileProblemKind::kMissing},
                            {"gone", FileProblemKind::kMissing}}));
    EXPECT_FALSE(Validate());
    const std::string text = report.Describe(2);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    EXPECT_NE(text.find("... and 2 more"), std::string::npos) << text;
}

// The quick look at start-up reads no file: presence and listed size only.
TEST_F(ValidateFilesTest, ListedFilesPresentChecksPresenceAndSize) {
    WriteTree(Game(), {{"a", "aaa"}, {"b", "b"}});
    ValidationList listed = {{"a", {"X", 3}}, {"b", {"Y", std::nullopt}}};
    EXPECT_TRUE(ListedFilesPresent(listed, Game()));
    listed["a"].size = 4;
    EXPECT_FALSE(ListedFilesPresent(listed, Game()));
    listed["a"].size = 3;
    listed["c"] = {"Z", std::nullopt};
    EXPECT_FALSE(ListedFilesPresent(listed, Game()));
}

TEST_F(ValidateFilesTest, LaterDuplicateEntryWins) {
    WriteTree(Game(), {{"a", "a"}});
    WriteManifest({{"a", Sha256Hex("a")}, {"a", Sha256Hex("b")}});
    EXPECT_FALSE(Validate());
    WriteManifest({{"a", Sha256Hex("b")}, {"a", Sha256Hex("a")}});
    EXPECT_TRUE(Validate());
}

// Only the manifest being used, lying at the root, is exempt: any other file of that
// name is a game file like any other.
TEST_F(ValidateFilesTest, OnlyTheRootManifestIsExempt) {
    WriteTree(Game(), {{"dir/manifest.validate.xml", "nested"}});
    WriteManifest({});
    EXPECT_FALSE(Validate());
    WriteManifest({{"dir/manifest.validate.xml", Sha256Hex("nested")}});
    EXPECT_TRUE(Validate());
}

TEST_F(ValidateFilesTest, StatusNamesEachFileInWalkOrderThenValidating) {
    WriteTree(Game(), {{"top.txt", "t"}, {"sub/inner.txt", "i"}, {"sub/deeper/last.txt", "l"}});
    WriteManifest({});
    status.texts.clear();
    ThreadCount one(1);  // several threads name files as they finish them
    Validate();
    // A folder's own files come before its subfolders'; the manifest is walked too.
    const std::vector<std::string>& texts = status.texts;
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts.back(), "Validating Files");
    const auto at = [&](const std::string& text) {
        return std::find(texts.begin(), texts.end(), text) - texts.begin();
    };
    EXPECT_LT(at("Loading File top.txt"), at("Loading File inner.txt"));
    EXPECT_LT(at("Loading File manifest.validate.xml"), at("Loading File inner.txt"));
    EXPECT_LT(at("Loading File inner.txt"), at("Loading File last.txt"));
    EXPECT_LT(at("Loading File last.txt"), 4);
}

// Files larger than the reading buffer are hashed whole, not just their first chunk.
TEST_F(ValidateFilesTest, FilesLargerThanTheBufferHashWhole) {
    std::string big(3 * (1 << 20) + 12345, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + (i >> 12));
    WriteTree(Game(), {{"big.mix", big}});
    WriteManifest({{"big.mix", Sha256Hex(big)}});
    EXPECT_TRUE(Validate());
    big.back() ^= 1;
    WriteTree(Game(), {{"big.mix", big}});
    EXPECT_FALSE(Validate());
}

// Whichever thread meets it, the file that cannot be read stops the others and is named.
TEST_F(ValidateFilesTest, UnreadableFileIsNamedInTheError) {
    // /proc/self/mem opens as a regular file, but reading its first page fails.
    if (!fs::exists("/proc/self/mem")) GTEST_SKIP();
    Tree others;
    for (int i = 0; i < 40; ++i) others["data/" + std::to_string(i)] = std::string(i * 999, 'x');
    WriteTree(Game(), others);
    fs::create_symlink("/proc/self/mem", temp.File("game/data/locked.mix"));
    WriteManifest({});
    for (const std::string& path : HashingPaths()) {
        ScopedEnvironment forced("KESTRAVA_SHA256", path);
        for (unsigned threads : {1u, 4u}) {
            ThreadCount count(threads);
            try {
                Validate();
                FAIL() << "no error, " << path;
            } catch (const ValidationError& error) {
                EXPECT_NE(std::string(error.what()).find("data/locked.mix"), std::string::npos)
                    << error.what();
            }
        }
    }
}

// The pool takes the largest files first and names each as it is done; what it finds and
// reports is the sequential walk's, whatever the number of threads, in lanes or not.
TEST_F(ValidateFilesTest, EveryThreadCountAndLanesFindWhatOneStreamFinds) {
    Tree files;
    const std::size_t sizes[] = {
        0, 1, 55, 64, 65, 127, 4095, (1 << 20) - 1, 1 << 20, (1 << 20) + 1, 3 << 20};
    for (std::size_t i = 0; i < 60; ++i) {
        std::string data(sizes[i % std::size(sizes)], '\0');
        for (std::size_t j = 0; j < data.size(); j += 4093) data[j] = static_cast<char>(i + j);
        files["d" + std::to_string(i % 4) + "/s" + std::to_string(i % 3) + "/f" +
              std::to_string(i)] = data;
    }
    WriteTree(Game(), files);
    std::vector<std::pair<std::string, std::string>> listed;
    for (const auto& [name, data] : files) {
        if (name.back() == '7') continue;  // unexpected
        listed.emplace_back(name, Sha256Hex(name.back() == '3' ? data + "changed" : data));
    }
    listed.emplace_back("gone/missing.bin", kEmptyDigest);
    WriteManifest(listed);

    const auto run = [&](unsigned threads) {
        ThreadCount count(threads);
        status.texts.clear();
        std::vector<FileChecksum> found;
        LoadFiles(Game(), Game(), found);
        std::vector<std::string> facts;
        for (const FileChecksum& file : found)
            facts.push_back(file.path + " " + file.name + " " + file.checksum);
        for (const FileProblem& problem : ValidateBuild(Manifest(), Game(), "list").problems)
            facts.push_back(problem.name + " " + std::to_string(static_cast<int>(problem.kind)));
        std::sort(status.texts.begin(), status.texts.end());
        return std::make_pair(facts, status.texts);
    };
    const std::vector<std::string> paths = HashingPaths();
    const auto sequential = [&] {
        ScopedEnvironment oneStream("KESTRAVA_SHA256", paths[0]);
        return run(1);
    }();
    ASSERT_EQ(sequential.first.size(), files.size() + 1 + 60 / 10 * 2 + 1);
    for (const std::string& path : paths) {
        ScopedEnvironment forced("KESTRAVA_SHA256", path);
        ASSERT_EQ(Sha256LanesPay(), path == "lanes");
        for (unsigned threads : {1u, 2u, 3u, kMostWorkerThreads}) {
            EXPECT_EQ(run(threads), sequential) << path << ", " << threads << " threads";
        }
    }
}

TEST_F(ValidateFilesTest, MalformedManifestsRaiseWithTheFileNamed) {
    WriteTree(Game(), {{"a", "a"}});
    for (const std::string& xml :
         {std::string("not xml <"), std::string("<Other/>"),
          std::string("<Game_Manifest><File name=\"a\"/></Game_Manifest>")}) {
        WriteBytes(Manifest(), xml);
        EXPECT_THROW(
            try { Validate(); } catch (const InstallError& error) {
                EXPECT_NE(std::string(error.what()).find("manifest.validate.xml"),
                          std::string::npos);
                throw;
            },
            InstallError)
            << xml;
    }
    fs::remove(Manifest());
    EXPECT_THROW(Validate(), InstallError);
}

}  // namespace
