#include "update/zip_extract.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

#include "platform/worker_threads.h"
#include "thread_count.h"
#include "update/update_test_support.h"

namespace fs = std::filesystem;

namespace {

// Text of a few letters in no order: deflate shrinks it, but only by its Huffman codes.
std::string Compressible(std::size_t size, std::uint32_t seed) {
    std::string data(size, ' ');
    std::uint32_t x = seed * 2654435761u + 1;
    for (char& c : data) {
        x = x * 1103515245u + 12345u;
        c = "kestrava launcher"[(x >> 16) % 17];
    }
    return data;
}

// Adds delta to a 32-bit field of name's local header and of its central directory record,
// so that the two still agree and only the data can tell.
void PatchEntryField(std::string& zip, const std::string& name, std::size_t localField,
                     std::size_t centralField, int delta) {
    const auto patch = [&](const char* signature, std::size_t nameAt, std::size_t field) {
        for (auto at = zip.find(signature); at != std::string::npos;
             at = zip.find(signature, at + 1)) {
            if (zip.compare(at + nameAt, name.size(), name) != 0) continue;
            std::uint32_t value;
            std::memcpy(&value, &zip[at + field], 4);
            value += static_cast<std::uint32_t>(delta);
            std::memcpy(&zip[at + field], &value, 4);
            return;
        }
        ADD_FAILURE() << "no record of " << name;
    };
    patch("PK\x03\x04", 30, localField);
    patch("PK\x01\x02", 46, centralField);
}

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

// Every size class (empty, within one read, past the streaming chunk, past a thread's
// whole-entry buffer), stored and deflated, comes out the same on any number of threads.
TEST_F(ExtractZipTest, EveryThreadCountWritesTheSameTree) {
    Tree files;
    std::vector<ZipEntrySpec> entries = {{"empty/", "", true}};
    const std::size_t sizes[] = {0, 1, 1000, (512 << 10) + 1, 3 << 19, (4 << 20) + 1};
    for (std::uint32_t i = 0; i < 12; ++i) {
        const std::string name = "d" + std::to_string(i % 3) + "/e" + std::to_string(i);
        files[name] = Compressible(sizes[i % 6], i);
        entries.push_back({name, files[name], false, false, false, i < 6});
    }
    WriteZip(Zip(), entries);
    fs::create_directories(temp.File("work"));
    for (unsigned threads : {1u, 2u, 3u, kMostWorkerThreads}) {
        ThreadCount count(threads);
        fs::remove_all(Game());
        fs::create_directories(Game());
        ASSERT_EQ(ExtractZip(Zip().c_str(), Game().c_str(), temp.File("work").c_str()), kExtractOk)
            << threads;
        EXPECT_EQ(ReadTree(Game()), files) << threads;
        EXPECT_TRUE(fs::is_directory(temp.File("game/empty")));
        EXPECT_TRUE(fs::is_empty(temp.File("work")));
    }
}

// What inflating must catch, in an entry inflated whole and in one streamed: a failure
// stops the other threads, names the entry and leaves its old file; whatever else was
// written is whole.
TEST_F(ExtractZipTest, DamagedDeflatedEntriesAreRefusedAndNamed) {
    const struct {
        const char* damage;
        std::size_t localField, centralField;
        int delta;
        int code;
    } cases[] = {
        {"wrong CRC", 14, 16, 1, kExtractWriteFailed},
        {"data past the declared size", 22, 24, -1, kExtractTooLarge},
        {"data short of the declared size", 22, 24, 1, kExtractWriteFailed},
    };
    fs::create_directories(temp.File("work"));
    ThreadCount count(4);
    for (std::size_t size : {std::size_t{100000}, std::size_t{3} << 19}) {
        for (const auto& c : cases) {
            Tree good;
            std::vector<ZipEntrySpec> entries;
            for (std::uint32_t i = 0; i < 8; ++i) {
                const std::string name = "ok/" + std::to_string(i);
                good[name] = Compressible(i * 5000, i);
                entries.push_back({name, good[name], false, false, false, true});
            }
            entries.push_back({"bad.bin", Compressible(size, 99), false, false, false, true});
            WriteZip(Zip(), entries);
            std::string bytes = ReadBytes(Zip());
            PatchEntryField(bytes, "bad.bin", c.localField, c.centralField, c.delta);
            WriteBytes(Zip(), bytes);
            fs::remove_all(Game());
            WriteTree(Game(), {{"bad.bin", "old"}});

            std::string detail;
            EXPECT_EQ(ExtractZip(Zip().c_str(), Game().c_str(), temp.File("work").c_str(), &detail),
                      c.code)
                << c.damage << ", " << size;
            EXPECT_NE(detail.find("bad.bin"), std::string::npos) << detail;
            EXPECT_TRUE(fs::is_empty(temp.File("work")));
            Tree written = ReadTree(Game());
            EXPECT_EQ(written["bad.bin"], "old");
            written.erase("bad.bin");
            for (const auto& [name, data] : written) EXPECT_EQ(data, good.at(name)) << name;
        }
    }
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
