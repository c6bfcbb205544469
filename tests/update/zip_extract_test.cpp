#include "update/zip_extract.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "update/update_test_support.h"

namespace fs = std::filesystem;

namespace {

class ExtractZipTest : public ::testing::Test {
protected:
    std::string Zip() const { return temp.File("package.zip"); }
    std::string Game() const { return temp.File("game"); }
    int Extract() { return ExtractZip(Zip().c_str(), Game().c_str()); }
    void SetUp() override { fs::create_directories(Game()); }

    TempDir temp;
};

TEST_F(ExtractZipTest, WritesEntriesAndTheirFoldersBelowTheDirectory) {
    WriteZip(Zip(), {{"readme.txt", "hello"}, {"data/maps/a.map", "map"}, {"maps/", "", true}});
    ASSERT_EQ(Extract(), kExtractOk);
    EXPECT_EQ(ReadTree(Game()), (Tree{{"readme.txt", "hello"}, {"data/maps/a.map", "map"}}));
    EXPECT_TRUE(fs::is_directory(temp.File("game/maps")));
}

TEST_F(ExtractZipTest, ClimbingAndRootedNamesLandInTheDirectoryItself) {
    WriteZip(Zip(), {{"../x", "up"}, {"/y", "rooted"}, {"a/../../z", "z"}, {"./b/./c", "c"}});
    ASSERT_EQ(Extract(), kExtractOk);
    EXPECT_EQ(ReadTree(Game()), (Tree{{"x", "up"}, {"y", "rooted"}, {"a/z", "z"}, {"b/c", "c"}}));
    EXPECT_FALSE(fs::exists(temp.File("x")));
}

TEST_F(ExtractZipTest, SymbolicLinksAreSkipped) {
    WriteZip(Zip(), {{"link", "/etc/passwd", false, true}, {"kept.txt", "kept"}});
    ASSERT_EQ(Extract(), kExtractOk);
    EXPECT_EQ(ReadTree(Game()), (Tree{{"kept.txt", "kept"}}));
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp.File("game/link"))));
}

// Names Windows would read as a drive, a stream or a device, or would silently trim.
TEST_F(ExtractZipTest, RefusesNamesThatWindowsWouldResolveElsewhere) {
    for (const char* name :
         {"C:/Windows/evil.dll", "data:stream", "CON", "con.txt", "Aux.ini", "dir/NUL", "prn",
          "COM1", "lpt9.log", "nul .txt", "trailing.", "trailing ", "dir./x"}) {
        WriteZip(Zip(), {{name, "x"}});
        EXPECT_EQ(Extract(), kExtractUnsafeName) << name;
    }
    EXPECT_TRUE(ReadTree(Game()).empty());
}

TEST_F(ExtractZipTest, AcceptsNamesThatOnlyResembleDevices) {
    WriteZip(Zip(), {{"console.txt", "1"},
                     {"com10", "2"},
                     {"lpt", "3"},
                     {"nullable/aux_data", "4"},
                     {".hidden", "5"}});
    ASSERT_EQ(Extract(), kExtractOk);
    EXPECT_EQ(ReadTree(Game()).size(), 5u);
}

// The file in place is replaced only by data that passed its check: never truncated
// first, never left half-written, and the staging folder keeps nothing.
TEST_F(ExtractZipTest, DamagedDataFailsItsCrcCheckAndLeavesTheOldFile) {
    const std::string data = "the quick brown fox jumps over the lazy dog";
    WriteTree(Game(), {{"fox.txt", "the fox that was there"}});
    fs::create_directories(temp.File("work"));
    WriteZip(Zip(), {{"fox.txt", data}});
    std::string bytes = ReadBytes(Zip());
    const auto at = bytes.find(data);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 4] = 'Q';
    WriteBytes(Zip(), bytes);
    EXPECT_EQ(ExtractZip(Zip().c_str(), Game().c_str(), temp.File("work").c_str()),
              kExtractWriteFailed);
    EXPECT_EQ(ReadTree(Game()), (Tree{{"fox.txt", "the fox that was there"}}));
    EXPECT_TRUE(fs::is_empty(temp.File("work")));
}

TEST_F(ExtractZipTest, MissingOrForeignFilesDoNotOpen) {
    EXPECT_EQ(Extract(), kExtractOpenFailed);
    WriteBytes(Zip(), "this is not a zip archive at all");
    EXPECT_EQ(Extract(), kExtractOpenFailed);
    WriteBytes(Zip(), "");
    EXPECT_EQ(Extract(), kExtractOpenFailed);
}

TEST_F(ExtractZipTest, ArgumentsAndPathLengths) {
    WriteZip(Zip(), {{"a.txt", "a"}});
    EXPECT_EQ(ExtractZip(nullptr, Game().c_str()), kExtractNoArgument);
    EXPECT_EQ(ExtractZip(Zip().c_str(), nullptr), kExtractNoArgument);
    EXPECT_EQ(ExtractZip(Zip().c_str(), std::string(512, 'd').c_str()), kExtractBadName);
    WriteZip(Zip(),
             {{std::string(200, 'n') + "/" + std::string(200, 'm') + "/" + std::string(200, 'o'),
               "deep"}});
    EXPECT_EQ(Extract(), kExtractBadName);
}

TEST_F(ExtractZipTest, ExistingFilesAreReplaced) {
    WriteTree(Game(), {{"a.txt", "an older and longer text"}});
    WriteZip(Zip(), {{"a.txt", "new"}});
    ASSERT_EQ(Extract(), kExtractOk);
    EXPECT_EQ(ReadBytes(temp.File("game/a.txt")), "new");
}

}  // namespace
