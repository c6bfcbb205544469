#include "mix/mix_file.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "mix/mix_error.h"
#include "mix_test_support.h"
#include "temp_dir.h"

namespace {

using MixFileTest = MixTest;

std::string FromFile(TempDir& dir, const std::string& bytes) {
    const std::string path = dir.File("archive.mix");
    WriteBytes(path, bytes);
    return path;
}

std::vector<std::uint32_t> Ids(const MixFile& archive) {
    std::vector<std::uint32_t> ids;
    for (const MixArchiveEntry* entry : archive.entries) ids.push_back(entry->id);
    return ids;
}

}  // namespace

TEST_F(MixFileTest, ReadsEntriesSortedByUnsignedIdWithTheirBytes) {
    TempDir dir;
    const std::string path = FromFile(dir, BuildMix({{"rules.ini", 0x80000000u, "top bit"},
                                                     {"art.ini", 7, "seven"},
                                                     {"Art.ini", 7, "same id, other case"},
                                                     {"empty", 3, ""},
                                                     {"", 12, "x"}}));
    MixFile archive(path);
    EXPECT_EQ(archive.magic, MixFile::kMix1);
    EXPECT_EQ(archive.path, path);
    EXPECT_EQ(Contents(archive), (std::vector<RawEntry>{{"empty", 3, ""},
                                                        {"art.ini", 7, "seven"},
                                                        {"Art.ini", 7, "same id, other case"},
                                                        {"", 12, "x"},
                                                        {"rules.ini", 0x80000000u, "top bit"}}));
    EXPECT_EQ(LiveMixEntryCount(), 5u);
}

TEST_F(MixFileTest, ForeignMagicIsKept) {
    TempDir dir;
    MixFile archive(FromFile(dir, BuildMix({{"a", 1, "b"}}, "ZZ9!")));
    EXPECT_EQ(archive.magic, 0x21395A5Au);
}

TEST_F(MixFileTest, EmptyArchiveOpensNothingThatStaysOpen) {
    TempDir dir;
    const std::size_t before = OpenDescriptorCount();
    MixFile archive(FromFile(dir, BuildMix({})));
    EXPECT_TRUE(archive.entries.empty());
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(MixFileTest, NameIsCutAtAnInnerNulAndKeepsItsRecordLength) {
    TempDir dir;
    std::string bytes = BuildMix({{"abc", 1, "x"}});
    bytes[bytes.size() - 3] = '\0';  // "a\0c\0"
    MixFile archive(FromFile(dir, bytes));
    ASSERT_EQ(archive.entries.size(), 1u);
    EXPECT_STREQ(archive.entries[0]->name, "a");
    EXPECT_EQ(archive.entries[0]->name[2], 'c');
}

TEST_F(MixFileTest, GetStreamStartsOverFromTheFirstByte) {
    TempDir dir;
    MixFile archive(FromFile(dir, BuildMix({{"a", 1, "first"}, {"b", 2, "second"}})));
    Stream* stream = archive.entries[1]->GetStream();
    char buffer[8];
    ASSERT_EQ(stream->Read(buffer, 3), 3);
    ReadEntry(*archive.entries[0]);
    EXPECT_EQ(archive.entries[1]->GetStream(), stream);
    EXPECT_EQ(ReadEntry(*archive.entries[1]), "second");
}

TEST_F(MixFileTest, ReplaceFilesSortsByUnsignedIdKeepingEveryEntry) {
    MixFile archive;
    auto* a = NewMemoryEntry("a", 5, "");
    auto* b = NewMemoryEntry("b", 4294967295u, "");
    auto* c = NewMemoryEntry("c", 1, "");
    auto* d = NewMemoryEntry("d", 5, "");
    archive.ReplaceFiles({a, b, c, d});
    EXPECT_EQ(Ids(archive), (std::vector<std::uint32_t>{1, 5, 5, 4294967295u}));
    EXPECT_EQ(archive.entries[1], a);
    EXPECT_EQ(archive.entries[2], d);
}

TEST_F(MixFileTest, MissingFileIsAnIoErrorNamingIt) {
    TempDir dir;
    const std::string path = dir.File("absent.mix");
    try {
        MixFile archive(path);
        FAIL() << "no error";
    } catch (const MixIoError& error) {
        EXPECT_EQ(error.path(), path);
    }
}

TEST_F(MixFileTest, MalformedArchivesAreRefusedBeforeAnyEntryExists) {
    TempDir dir;
    const std::string good = BuildMix({{"a.ini", 1, "alpha"}, {"b.ini", 2, "beta!"}});
    const std::uint32_t indexOffset = GetLE32(good, 4);
    const std::uint32_t namesOffset = GetLE32(good, 8);
    const std::size_t firstRecord = indexOffset + 4;
    const std::size_t firstName = namesOffset + 4;

    struct Case {
        const char* what;
        std::string bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"shorter than the header", good.substr(0, 11)});
    cases.push_back({"empty file", ""});
    auto modified = [&](const char* what, auto change) {
        std::string bytes = good;
        change(bytes);
        cases.push_back({what, bytes});
    };
    modified("index offset past the end", [&](std::string& b) { PutLE32(b, 4, b.size() - 3); });
    modified("names offset past the end", [&](std::string& b) { PutLE32(b, 8, 0xFFFFFFF0u); });
    modified("huge index count", [&](std::string& b) { PutLE32(b, indexOffset, 0xFFFFFFFFu); });
    modified("index count just too large", [&](std::string& b) {
        PutLE32(b, indexOffset, (b.size() - indexOffset - 4) / 12 + 1);
    });
    modified("data past the end", [&](std::string& b) { PutLE32(b, firstRecord + 8, b.size()); });
    modified("offset and size wrapping around 32 bits", [&](std::string& b) {
        PutLE32(b, firstRecord + 4, 0xFFFFFFF0u);
        PutLE32(b, firstRecord + 8, 0x20u);
    });
    modified("more names than index records", [&](std::string& b) {
        PutLE32(b, namesOffset, 3);
        b += std::string("\x02z\0", 3);
    });
    modified("index records without names", [&](std::string& b) { PutLE32(b, namesOffset, 1); });
    modified("huge names count", [&](std::string& b) {
        PutLE32(b, indexOffset, 0);
        PutLE32(b, namesOffset, 0x7FFFFFFF);
    });
    modified("name length 0", [&](std::string& b) { b[firstName] = 0; });
    modified("name without its NUL", [&](std::string& b) { b[b.size() - 1] = 'x'; });
    modified("name record past the end", [&](std::string& b) { b[b.size() - 7] = 100; });
    modified("names table cut short", [&](std::string& b) { b.resize(b.size() - 1); });

    for (const Case& c : cases) {
        const std::string path = FromFile(dir, c.bytes);
        try {
            MixFile archive(path);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const MixFormatError& error) {
            EXPECT_EQ(error.path(), path) << c.what;
            EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << c.what;
        }
        EXPECT_EQ(LiveMixEntryCount(), 0u) << c.what;
    }
}

TEST_F(MixFileTest, EntriesOfOneArchiveShareASingleHandle) {
    TempDir dir;
    std::vector<RawEntry> raw;
    for (std::uint32_t i = 0; i < 1000; ++i) raw.push_back({"e" + std::to_string(i), i, "d"});
    const std::size_t before = OpenDescriptorCount();
    {
        MixFile archive(FromFile(dir, BuildMix(raw)));
        EXPECT_EQ(OpenDescriptorCount(), before + 1);
        EXPECT_EQ(ReadEntry(*archive.entries[999]), "d");
    }
    EXPECT_EQ(OpenDescriptorCount(), before + 1) << "the registry owns the handle";
    ReleaseMixEntries();
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(MixFileTest, ReadsAnEntryBeyondTwoGibibytes) {
    TempDir dir;
    const std::string path = dir.File("sparse.mix");
    const std::uint32_t dataOffset = 0xC0000000u;  // 3 GiB
    const std::string data = "far away";
    std::string tables = LE32(1) + LE32(77) + LE32(dataOffset) + LE32(data.size()) + LE32(1) +
                         std::string(
                             "\x04"
                             "far\0",
                             5);
    const std::uint32_t indexOffset = dataOffset + 8;
    {
        UniqueFile out = OpenFile(path, "wb");
        const std::string header = "MIX1" + LE32(indexOffset) + LE32(indexOffset + 16) + LE32(0);
        std::fwrite(header.data(), 1, header.size(), out.get());
        ASSERT_TRUE(SeekTo(out.get(), dataOffset));
        const std::string rest = data + tables;
        std::fwrite(rest.data(), 1, rest.size(), out.get());
    }
    MixFile archive(path);
    ASSERT_EQ(archive.entries.size(), 1u);
    EXPECT_EQ(ReadEntry(*archive.entries[0]), data);
}
