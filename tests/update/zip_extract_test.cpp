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

// The whole package is checked before its first byte is written: each case leads with
// a good entry, which must not appear either. The message names the entry.
TEST_F(ExtractZipTest, RefusedPackagesWriteNothing) {
    const struct {
        std::vector<ZipEntrySpec> entries;
        int code;
        const char* named;
    } cases[] = {
        {{{"../x", "up"}}, kExtractUnsafeName, "../x"},
        {{{"/y", "rooted"}}, kExtractUnsafeName, "/y"},
        {{{"a/../b.txt", "b"}}, kExtractUnsafeName, "a/../b.txt"},
        {{{"./b/c", "c"}}, kExtractUnsafeName, "./b/c"},
        {{{"x/y.txt", "1"}, {"x\\y.txt", "2"}}, kExtractUnsafeName, "x\\y.txt"},
        {{{"Readme.TXT", "1"}, {"readme.txt", "2"}}, kExtractUnsafeName, "readme.txt"},
        {{{"Data/a", "1"}, {"data/b", "2"}}, kExtractUnsafeName, "data/b"},
        {{{"a", "1"}, {"a/b", "2"}}, kExtractUnsafeName, "a/b"},
        {{{"\xC3\x89t\xC3\xA9.txt", "1"}, {"\xC3\xA9T\xC3\x89.TXT", "2"}}, kExtractUnsafeName, "T"},
        {{{"folder", "data", false, false, true}}, kExtractBadEntry, "folder"},
        {{{"big.bin", std::string(700, 'x')}, {"more.bin", std::string(400, 'y')}},
         kExtractTooLarge,
         "more.bin"},
    };
    for (const auto& c : cases) {
        std::vector<ZipEntrySpec> entries = {{"first.txt", "first"}};
        entries.insert(entries.end(), c.entries.begin(), c.entries.end());
        WriteZip(Zip(), entries);
        std::string detail;
        EXPECT_EQ(ExtractZip(Zip().c_str(), Game().c_str(), nullptr, &detail, 1024), c.code)
            << c.named;
        EXPECT_NE(detail.find(c.named), std::string::npos) << detail;
        EXPECT_TRUE(fs::is_empty(Game())) << c.named;
    }
}

TEST_F(ExtractZipTest, NamesInAnyScriptArriveAsPublished) {
    const Tree files = {{"\xC3\xA9t\xC3\xA9/\xE8\xA9\xA6\xE9\xA8\x93.txt", "1"},
                        {"\xD0\xBA\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0 1.map", "2"}};
    std::vector<ZipEntrySpec> entries;
    for (const auto& [name, data] : files) entries.push_back({name, data});
    WriteZip(Zip(), entries);
    ASSERT_EQ(Extract(), kExtractOk);
    EXPECT_EQ(ReadTree(Game()), files);
}

TEST_F(ExtractZipTest, SymbolicLinksAreSkipped) {
    WriteZip(Zip(), {{"link", "/etc/passwd", false, true}, {"kept.txt", "kept"}});
    ASSERT_EQ(Extract(), kExtractOk);
    EXPECT_EQ(ReadTree(Game()), (Tree{{"kept.txt", "kept"}}));
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp.File("game/link"))));
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

TEST_F(ExtractZipTest, Arguments) {
    WriteZip(Zip(), {{"a.txt", "a"}});
    EXPECT_EQ(ExtractZip(nullptr, Game().c_str()), kExtractNoArgument);
    EXPECT_EQ(ExtractZip(Zip().c_str(), nullptr), kExtractNoArgument);
}

TEST_F(ExtractZipTest, ExistingFilesAreReplaced) {
    WriteTree(Game(), {{"a.txt", "an older and longer text"}});
    WriteZip(Zip(), {{"a.txt", "new"}});
    ASSERT_EQ(Extract(), kExtractOk);
    EXPECT_EQ(ReadBytes(temp.File("game/a.txt")), "new");
}

}  // namespace
