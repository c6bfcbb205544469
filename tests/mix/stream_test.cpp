#include "mix/stream.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "mix_test_support.h"
#include "temp_dir.h"

namespace {

// Hands out its bytes in pieces no larger than piece, recording every request.
class PiecewiseStream final : public Stream {
public:
    PiecewiseStream(std::string bytes, std::uint32_t piece)
        : bytes_(std::move(bytes)), piece_(piece) {}

    std::int32_t Read(char* buffer, std::uint32_t count) override {
        requests.push_back(count);
        const std::size_t n = std::min<std::size_t>({count, piece_, bytes_.size() - at_});
        bytes_.copy(buffer, n, at_);
        at_ += n;
        returned.push_back(static_cast<std::int32_t>(n));
        return static_cast<std::int32_t>(n);
    }

    std::vector<std::uint32_t> requests;
    std::vector<std::int32_t> returned;

private:
    std::string bytes_;
    std::size_t at_ = 0;
    std::uint32_t piece_;
};

ArchiveHandle OpenHandle(const std::string& path) { return {OpenFile(path, "rb"), path}; }

std::string CopyToFile(Stream& stream, const std::string& path, std::uint64_t* copied = nullptr) {
    UniqueFile out = OpenFile(path, "wb");
    const std::uint64_t n = stream.CopyTo(out.get());
    if (copied != nullptr) *copied = n;
    out.reset();
    return ReadBytes(path);
}

}  // namespace

TEST(FileStreamTest, ReadsOnlyItsWindowAndClampsAtTheEnd) {
    TempDir dir;
    WriteBytes(dir.File("a"), "0123456789abcdefghij");
    ArchiveHandle handle = OpenHandle(dir.File("a"));
    FileStream stream(&handle, 5, 10);
    stream.Rewind();
    char buffer[64] = {};

    EXPECT_EQ(stream.Read(buffer, 0), 0);
    EXPECT_EQ(stream.position, 0u);
    EXPECT_EQ(stream.Read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "5678");
    EXPECT_EQ(stream.Read(buffer, 81920), 6);
    EXPECT_EQ(std::string(buffer, 6), "9abcde");
    EXPECT_EQ(stream.position, stream.length);
    EXPECT_EQ(stream.Read(buffer, 81920), 0);
}

TEST(FileStreamTest, WindowsSharingAHandleReadTheirOwnBytesWhenInterleaved) {
    TempDir dir;
    WriteBytes(dir.File("a"), "AAAAAAAABBBBBBBB");
    ArchiveHandle handle = OpenHandle(dir.File("a"));
    FileStream first(&handle, 0, 8);
    FileStream second(&handle, 8, 8);
    first.Rewind();
    second.Rewind();
    char buffer[8];
    ASSERT_EQ(first.Read(buffer, 3), 3);
    ASSERT_EQ(second.Read(buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "BBB");
    ASSERT_EQ(first.Read(buffer, 8), 5);
    EXPECT_EQ(std::string(buffer, 5), "AAAAA");
}

TEST(FileStreamTest, TruncatedFileYieldsFewerBytesWithoutError) {
    TempDir dir;
    WriteBytes(dir.File("a"), "0123");
    ArchiveHandle handle = OpenHandle(dir.File("a"));
    FileStream stream(&handle, 2, 10);
    stream.Rewind();
    EXPECT_EQ(CopyToFile(stream, dir.File("out")), "23");
}

TEST(StreamCopyToTest, CopiesInChunksUntilTheFirstZeroCount) {
    TempDir dir;
    struct Case {
        std::size_t size;
        std::vector<std::int32_t> reads;
    };
    const Case cases[] = {
        {0, {0}},
        {81920, {81920, 0}},
        {2 * 81920 + 100, {81920, 81920, 100, 0}},
    };
    for (const Case& c : cases) {
        const std::string bytes = Pattern(c.size);
        PiecewiseStream stream(bytes, Stream::kCopyChunk);
        std::uint64_t copied = 0;
        EXPECT_EQ(CopyToFile(stream, dir.File("out"), &copied), bytes);
        EXPECT_EQ(copied, c.size);
        EXPECT_EQ(stream.returned, c.reads) << "size " << c.size;
        for (std::uint32_t request : stream.requests) EXPECT_EQ(request, 81920u);
    }
}

TEST(StreamCopyToTest, ShortReadsDoNotEndTheCopy) {
    TempDir dir;
    const std::string bytes = Pattern(1000);
    PiecewiseStream stream(bytes, 7);
    EXPECT_EQ(CopyToFile(stream, dir.File("out")), bytes);
}

TEST(StreamCopyToTest, ReportsOnlyTheBytesThatReachedTheOutput) {
    TempDir dir;
    WriteBytes(dir.File("in"), "x");
    PiecewiseStream stream(Pattern(5000), Stream::kCopyChunk);
    UniqueFile readOnly = OpenFile(dir.File("in"), "rb");
    EXPECT_EQ(stream.CopyTo(readOnly.get()), 0u);
}

TEST(MemoryStreamTest, RewindStartsOver) {
    MemoryStream stream("hello");
    char buffer[8];
    EXPECT_EQ(stream.Read(buffer, 3), 3);
    stream.Rewind();
    EXPECT_EQ(stream.Read(buffer, 8), 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_EQ(stream.Read(buffer, 8), 0);
}

// Small reads that follow one another come from the handle's read-ahead window, others
// straight from the file; either way each read returns exactly the file's bytes.
TEST(ArchiveHandleTest, ReadsAnywhereReturnTheFilesBytes) {
    TempDir dir;
    const std::string bytes = Pattern(3 * ArchiveHandle::kWindow + 123);
    WriteBytes(dir.File("a"), bytes);
    ArchiveHandle handle(OpenFile(dir.File("a"), "rb"), dir.File("a"));
    std::mt19937 random(7);
    std::vector<char> buffer(2 * ArchiveHandle::kDirect);
    std::uint64_t offset = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::size_t count = random() % 8 == 0 ? random() % buffer.size() : random() % 300;
        offset = random() % 16 == 0 ? random() % bytes.size() : offset + count + random() % 8;
        if (offset > bytes.size()) offset = random() % bytes.size();
        const std::size_t expected = std::min<std::size_t>(count, bytes.size() - offset);
        ASSERT_EQ(handle.ReadAt(offset, buffer.data(), count), expected) << offset << "+" << count;
        ASSERT_EQ(std::string(buffer.data(), expected), bytes.substr(offset, expected));
    }
}
