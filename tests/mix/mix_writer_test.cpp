#include <filesystem>
#include <gtest/gtest.h>

#include "mix/mix_error.h"
#include "mix/mix_file.h"
#include "mix_test_support.h"
#include "temp_dir.h"

namespace {

using MixWriterTest = MixTest;

std::string WriteToBytes(const MixFile& archive, TempDir& dir) {
    const std::string path = dir.File("written.mix");
    UniqueFile out = OpenFile(path, "wb");
    archive.Write(out.get(), path);
    out.reset();
    return ReadBytes(path);
}

}  // namespace

TEST_F(MixWriterTest, EmptyArchiveIsTwentyFourBytes) {
    TempDir dir;
    MixFile archive;
    EXPECT_EQ(WriteToBytes(archive, dir),
              "MIX1" + LE32(16) + LE32(20) + LE32(0) + LE32(0) + LE32(0));
}

TEST_F(MixWriterTest, OneEntryArchiveHasTheExactLayout) {
    TempDir dir;
    MixFile archive;
    archive.ReplaceFiles({NewMemoryEntry("a", 7, "12345")});
    const std::string expected = "MIX1" + LE32(24) + LE32(40) + LE32(0) + "12345" +
                                 std::string(3, '\0') + LE32(1) + LE32(7) + LE32(16) + LE32(5) +
                                 LE32(1) +
                                 std::string(
                                     "\x02"
                                     "a\0",
                                     3);
    EXPECT_EQ(expected.size(), 47u);
    EXPECT_EQ(WriteToBytes(archive, dir), expected);
}

TEST_F(MixWriterTest, FillsToEightAndWritesInUnsignedIdOrder) {
    TempDir dir;
    MixFile archive;
    archive.ReplaceFiles({NewMemoryEntry("five", 5, "12345678"),
                          NewMemoryEntry("max", 4294967295u, "z"), NewMemoryEntry("one", 1, ""),
                          NewMemoryEntry("two", 2, "abc")});
    const std::string bytes = WriteToBytes(archive, dir);
    // one: size 0 at 16; two: 3 bytes at 16, fill 5; five: 8 bytes at 24, no fill; max at 32.
    const std::uint32_t indexOffset = GetLE32(bytes, 4);
    EXPECT_EQ(indexOffset, 16u + 0 + 8 + 8 + 8);
    const std::uint32_t expected[][3] = {{1, 16, 0}, {2, 16, 3}, {5, 24, 8}, {4294967295u, 32, 1}};
    ASSERT_EQ(GetLE32(bytes, indexOffset), 4u);
    for (int i = 0; i < 4; ++i) {
        for (int field = 0; field < 3; ++field) {
            EXPECT_EQ(GetLE32(bytes, indexOffset + 4 + 12 * i + 4 * field), expected[i][field])
                << "record " << i << " field " << field;
        }
    }
    EXPECT_EQ(bytes.substr(16, 8), std::string("abc") + std::string(5, '\0'));
    EXPECT_EQ(bytes.substr(GetLE32(bytes, 8)), LE32(4) + std::string("\x04one\0\x04two\0\x05"
                                                                     "five\0\x04max\0",
                                                                     21));
}

TEST_F(MixWriterTest, RoundTripKeepsMagicNamesIdsAndBytes) {
    TempDir dir;
    std::vector<RawEntry> raw;
    for (std::uint32_t i = 0; i < 40; ++i) {
        raw.push_back({"entry" + std::to_string(i), i * 2654435761u,
                       std::string(i * 997 % 200000, static_cast<char>('a' + i % 26))});
    }
    raw.push_back({std::string(254, 'n'), 3, "longest name"});
    const std::string source = dir.File("source.mix");
    WriteBytes(source, BuildMix(raw, "MIXZ"));
    MixFile read(source);
    WriteMixFileTo(read, dir.File("copy.mix"));
    MixFile reread(dir.File("copy.mix"));
    EXPECT_EQ(reread.magic, read.magic);
    EXPECT_EQ(Contents(reread), Contents(read));
    EXPECT_EQ(reread.entries.size(), raw.size());
}

TEST_F(MixWriterTest, NameCutAtInnerNulIsWrittenWithTheShorterLength) {
    TempDir dir;
    std::string bytes = BuildMix({{"abc", 9, "x"}});
    bytes[bytes.size() - 3] = '\0';
    WriteBytes(dir.File("in.mix"), bytes);
    MixFile archive(dir.File("in.mix"));
    const std::string written = WriteToBytes(archive, dir);
    EXPECT_EQ(written.substr(GetLE32(written, 8)), LE32(1) + std::string("\x02"
                                                                         "a\0",
                                                                         3));
}

TEST_F(MixWriterTest, NamesTooLongForTheLengthByteAreRefusedBeforeWriting) {
    TempDir dir;
    MixFile archive;
    archive.ReplaceFiles(
        {NewMemoryEntry("ok", 1, "x"), NewMemoryEntry(std::string(255, 'n'), 2, "y")});
    const std::string path = dir.File("out.mix");
    UniqueFile out = OpenFile(path, "wb");
    EXPECT_THROW(archive.Write(out.get(), path), MixLimitError);
    out.reset();
    EXPECT_EQ(ReadBytes(path), "");
}

TEST_F(MixWriterTest, BodyBeyondFourGibibytesIsRefused) {
    TempDir dir;
    WriteBytes(dir.File("any"), "x");
    ArchiveHandle handle(OpenFile(dir.File("any"), "rb"), dir.File("any"));
    MixFile archive;
    for (std::uint32_t id = 0; id < 2; ++id) {
        auto* entry = new MixArchiveEntryFile("big", id, 0xFFFFFFF0u, &handle, 0);
        MixEntryRegistry().push_back(entry);
        archive.entries.push_back(entry);
    }
    EXPECT_THROW(WriteMixFileTo(archive, dir.File("out.mix")), MixLimitError);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.mix")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.mix.part")));
}

// Entries of either size are copied differently (through the buffer, or by the system).
TEST_F(MixWriterTest, EntryDeliveringLessThanItsSizeIsAnError) {
    for (const std::size_t size : {10000u, 100000u}) {
        TempDir dir;
        const std::string source = dir.File("source.mix");
        WriteBytes(source,
                   BuildMix({{"a", 1, std::string(size, 'a')}, {"b", 2, std::string(size, 'b')}}));
        MixFile archive(source);
        std::filesystem::resize_file(source, size * 3 / 2);
        WriteBytes(dir.File("out.mix"), "previous");
        try {
            WriteMixFileTo(archive, dir.File("out.mix"));
            ADD_FAILURE() << "no error at size " << size;
        } catch (const MixFormatError& error) {
            EXPECT_EQ(error.path(), source);
            EXPECT_NE(error.fault().find("\"b\" delivered " + std::to_string(size / 2 - 16)),
                      std::string::npos)
                << error.fault();
        }
        EXPECT_EQ(ReadBytes(dir.File("out.mix")), "previous");
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.mix.part")));
        ReleaseMixEntries();
    }
}

// Large entries of an archive file, and runs of entries lying back to back in it as the
// writer lays them out, are queued for the system to copy where the fill between them is
// zeros; other runs are read in spans bigger than the buffer, and entries held in memory
// always pass through it. All give the same bytes, zeros for fill whatever the source
// holds there, also where the output is not a new file, or one the system cannot write to
// at an offset (appending), so that what it queued comes back through the buffer.
TEST_F(MixWriterTest, EntriesFromFilesAndFromMemoryWriteTheSameBytes) {
    TempDir dir;
    std::vector<std::size_t> sizes = {0u, 1u, 65535u, 65536u, 65537u, 7u, 200001u, 8u, 99999u};
    for (std::size_t i = 0; i < 60; ++i) sizes.push_back(3000 + i * 37);
    std::vector<RawEntry> raw;
    for (const std::size_t size : sizes) {
        const auto id = static_cast<std::uint32_t>(raw.size() + 1);
        raw.push_back({"e" + std::to_string(id), id, Pattern(size, id)});
    }
    // Listed first, it splits the file's order into a run of large entries and one of small.
    raw[9].id = 0;
    MixFile inMemory;
    std::vector<MixArchiveEntry*> entries;
    for (const RawEntry& entry : raw) {
        entries.push_back(NewMemoryEntry(entry.name, entry.id, entry.data));
    }
    inMemory.ReplaceFiles(entries);
    const std::string expected = WriteToBytes(inMemory, dir);

    for (const char fill : {'\0', '\xAA'}) {
        WriteBytes(dir.File("source.mix"), BuildMix(raw, "MIX1", fill));
        const MixFile fromFile(dir.File("source.mix"));
        WriteMixFileTo(fromFile, dir.File("new.mix"));
        EXPECT_EQ(ReadBytes(dir.File("new.mix")), expected) << int{fill};
        const std::string prefix = "prefix";
        const std::string longer(expected.size() + 9, '\xFF');
        const struct {
            const char* mode;
            std::string before;
            std::size_t at;
            std::string after;
        } outputs[] = {{"r+b", prefix, prefix.size(), prefix + expected},
                       {"r+b", longer, 0, expected + longer.substr(expected.size())},
                       {"ab", prefix, prefix.size(), prefix + expected}};
        for (const auto& output : outputs) {
            WriteBytes(dir.File("old.mix"), output.before);
            UniqueFile out = OpenFile(dir.File("old.mix"), output.mode);
            ASSERT_TRUE(SeekTo(out.get(), output.at));
            fromFile.Write(out.get(), dir.File("old.mix"));
            out.reset();
            EXPECT_EQ(ReadBytes(dir.File("old.mix")), output.after) << output.mode << int{fill};
        }
    }
}

TEST_F(MixWriterTest, UnopenableOutputIsAnErrorAndCreatesNothing) {
    TempDir dir;
    MixFile archive;
    const std::string path = dir.File("missing/out.mix");
    try {
        WriteMixFileTo(archive, path);
        FAIL() << "no error";
    } catch (const MixIoError& error) {
        EXPECT_EQ(error.path(), path);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}
