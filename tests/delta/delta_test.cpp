#include <cstring>
#include <gtest/gtest.h>
#include <random>

#include "delta/delta_file.h"
#include "delta/delta_reader.h"
#include "delta/delta_writer.h"
#include "delta/little_endian.h"
#include "platform/file_system.h"
#include "temp_dir.h"

namespace {

class StringBase final : public DeltaBase {
public:
    explicit StringBase(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
        if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
        std::memcpy(buffer, bytes_.data() + offset, count);
        return true;
    }

private:
    std::string bytes_;
};

class StringInput final : public DeltaInput {
public:
    explicit StringInput(std::string bytes) : bytes_(std::move(bytes)) {}
    std::size_t Read(void* buffer, std::size_t count) override {
        const std::size_t n = std::min(count, bytes_.size() - at_);
        std::memcpy(buffer, bytes_.data() + at_, n);
        at_ += n;
        return n;
    }

private:
    std::string bytes_;
    std::size_t at_ = 0;
};

std::string Apply(const std::string& base, const std::string& delta,
                  std::uint64_t maxTarget = ~std::uint64_t{0}) {
    StringBase source(base);
    StringInput input(delta);
    DeltaReader reader(source, input, maxTarget);
    std::string out;
    char buffer[7777];  // not a divisor of any block size
    while (const std::size_t n = reader.Read(buffer, sizeof buffer)) out.append(buffer, n);
    return out;
}

std::string Noise(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// Small blocks and windows, so that every path of a large file runs on a few KiB.
DeltaOptions Small() {
    DeltaOptions options;
    options.blockSize = 4096;
    options.windowSize = 8192;
    options.level = 3;
    options.threads = 2;
    return options;
}

struct Pair {
    const char* what;
    std::string base;
    std::string target;
};

std::vector<Pair> Corpus() {
    const std::string old = Noise(40000, 1);
    std::string edited = old;
    for (std::size_t at = 100; at < edited.size(); at += 5003) edited[at] ^= 0x5A;
    std::string moved = old.substr(30000) + old.substr(0, 30000);
    std::string grown = old.substr(0, 12000) + Noise(3000, 2) + old.substr(12000);
    std::string shrunk = old.substr(0, 9000) + old.substr(15000);
    return {
        {"both empty", "", ""},
        {"empty base", "", Noise(5000, 3)},
        {"emptied", old, ""},
        {"one byte", "a", "b"},
        {"one block less a byte", old, old.substr(0, 4095)},
        {"exactly one block", old, old.substr(0, 4096)},
        {"one block and a byte", old, old.substr(0, 4097)},
        {"two blocks", old.substr(0, 8192), old.substr(1, 8192)},
        {"unchanged", old, old},
        {"scattered edits", old, edited},
        {"block moved far", old, moved},
        {"grown inside", old, grown},
        {"shrunk inside", old, shrunk},
        {"base within one window", old.substr(0, 6000), old.substr(0, 6000) + "tail"},
    };
}

TEST(Delta, RebuildsEveryPairByteForByte) {
    for (const Pair& pair : Corpus()) {
        const std::string delta = MakeDelta(pair.base, pair.target, Small());
        EXPECT_EQ(Apply(pair.base, delta), pair.target) << pair.what;
    }
}

TEST(Delta, CarriesOnlyWhatChanged) {
    for (const Pair& pair : Corpus()) {
        const std::string what = pair.what;
        if (what != "unchanged" && what != "scattered edits" && what != "block moved far") continue;
        const std::string delta = MakeDelta(pair.base, pair.target, Small());
        // The target is noise: a delta that did not find the base would be as large.
        EXPECT_LT(delta.size(), pair.target.size() / 10) << pair.what;
    }
}

// A delta of "old" to "new" with the given edit applied to its bytes.
std::string Tampered(const std::function<void(std::string&)>& edit) {
    std::string delta = MakeDelta(Noise(9000, 4), Noise(9000, 4) + "new", Small());
    edit(delta);
    return delta;
}

void SetLE32(std::string& bytes, std::size_t at, std::uint32_t value) {
    std::string le;
    AppendLE32(le, value);
    bytes.replace(at, 4, le);
}

void SetLE64(std::string& bytes, std::size_t at, std::uint64_t value) {
    std::string le;
    AppendLE64(le, value);
    bytes.replace(at, 8, le);
}

TEST(Delta, RefusesHostileDeltas) {
    const std::string base = Noise(9000, 4);
    constexpr std::size_t firstBlock = kDeltaHeaderSize;
    const struct {
        const char* what;
        std::string delta;
    } cases[] = {
        {"empty", ""},
        {"cut inside the header", Tampered([](std::string& d) { d.resize(30); })},
        {"cut inside a frame", Tampered([](std::string& d) { d.resize(d.size() - 3); })},
        {"another magic", Tampered([](std::string& d) { d[0] = 'X'; })},
        {"unknown format version", Tampered([](std::string& d) { SetLE32(d, 4, 2); })},
        {"another base size", Tampered([](std::string& d) { SetLE64(d, 8, 9001); })},
        {"another target hash", Tampered([](std::string& d) { d[30] ^= 1; })},
        {"no block size", Tampered([](std::string& d) { SetLE32(d, 56, 0); })},
        {"a huge block size", Tampered([](std::string& d) { SetLE32(d, 56, kMaxDeltaBlock + 1); })},
        {"a window past the base",
         Tampered([](std::string& d) { SetLE64(d, firstBlock, 9000 - 100); })},
        {"an offset past the base",
         Tampered([](std::string& d) { SetLE64(d, firstBlock, ~0ull); })},
        {"a huge window", Tampered([](std::string& d) { SetLE32(d, firstBlock + 8, ~0u); })},
        {"a huge frame", Tampered([](std::string& d) { SetLE32(d, firstBlock + 12, ~0u); })},
        {"a frame byte changed", Tampered([](std::string& d) { d[firstBlock + 20] ^= 0x40; })},
        {"a claimed size beyond the blocks",
         Tampered([](std::string& d) { SetLE64(d, 16, 1ull << 40); })},
        {"bytes after the last block", Tampered([](std::string& d) { d += "x"; })},
        {"a second frame in a block",
         [] {
             // Frame lengths stay honest; the block's frame is followed by another.
             std::string d = MakeDelta("", "abc", Small());
             const std::string frame = d.substr(kDeltaHeaderSize + kDeltaBlockHeaderSize);
             d += frame;
             SetLE32(d, kDeltaHeaderSize + 12, static_cast<std::uint32_t>(2 * frame.size()));
             return d;
         }()},
    };
    for (const auto& c : cases) {
        const std::string useBase = std::string(c.what) == "a second frame in a block" ? "" : base;
        EXPECT_THROW(Apply(useBase, c.delta), DeltaError) << c.what;
    }
    // Made for this base but applied to another of the same size: the hash catches it.
    EXPECT_THROW(Apply(Noise(9000, 5), Tampered([](std::string&) {})), DeltaError);
    // A target beyond what the caller allows is refused before any block is decoded.
    EXPECT_THROW(Apply(base, Tampered([](std::string&) {}), 9000), DeltaError);
}

TEST(DeltaFile, AppliesWholeOrNotAtAll) {
    TempDir dir;
    const std::string base = Noise(20000, 6);
    std::string target = base;
    target.replace(5000, 10, "0123456789");
    WriteBytes(dir.File("old"), base);
    WriteBytes(dir.File("new"), target);
    MakeDeltaFile(dir.File("old"), dir.File("new"), dir.File("delta"), Small());
    EXPECT_TRUE(IsDeltaFile(dir.File("delta")));
    EXPECT_FALSE(IsDeltaFile(dir.File("old")));

    ApplyDeltaFile(dir.File("old"), dir.File("delta"), dir.File("out"));
    EXPECT_EQ(ReadBytes(dir.File("out")), target);

    // A delta that fails at its last block leaves the output as it was and nothing beside it.
    WriteBytes(dir.File("out"), "previous");
    std::string delta = ReadBytes(dir.File("delta"));
    delta[30] ^= 1;
    WriteBytes(dir.File("delta"), delta);
    EXPECT_THROW(ApplyDeltaFile(dir.File("old"), dir.File("delta"), dir.File("out")), DeltaError);
    EXPECT_EQ(ReadBytes(dir.File("out")), "previous");
    EXPECT_FALSE(FileExists(dir.File("out.part")));
    // The caller refuses on the header: nothing is written at all.
    EXPECT_THROW(ApplyDeltaFile(dir.File("old"), dir.File("delta"), dir.File("fresh"),
                                [](const DeltaHeader&) { throw DeltaError("refused"); }),
                 DeltaError);
    EXPECT_FALSE(FileExists(dir.File("fresh")));
    EXPECT_FALSE(FileExists(dir.File("fresh.part")));
}

}  // namespace
