#include <zstd.h>

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <random>

#include "delta/delta_file.h"
#include "delta/delta_reader.h"
#include "delta/delta_writer.h"
#include "hash/sha256.h"
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

// A delta put together field by field, for the faults no writer makes.
struct Forged {
    std::uint64_t baseSize = 9000;
    std::string target = "rebuilt bytes";
    std::uint32_t blockSize = 4096;
    std::vector<DeltaWindow> windows;
    std::string frame;  // default: the target compressed without a reference
    std::optional<std::uint64_t> frameLength;
    std::string after;  // bytes after the last block

    std::string Bytes() const {
        DeltaHeader header;
        header.baseSize = baseSize;
        header.targetSize = target.size();
        header.blockSize = blockSize;
        Sha256 hash;
        hash.Update(target.data(), target.size());
        header.targetSha256 = hash.Final();
        std::string made = frame;
        if (made.empty()) {
            made.resize(ZSTD_compressBound(target.size()));
            made.resize(ZSTD_compress(made.data(), made.size(), target.data(), target.size(), 3));
        }
        return EncodeDeltaHeader(header) +
               EncodeBlockHeader(windows, frameLength.value_or(made.size())) + made + after;
    }
};

TEST(Delta, RefusesHostileDeltas) {
    const std::string base = Noise(300000, 4);
    Forged plain;
    plain.baseSize = base.size();
    const std::string good = plain.Bytes();
    ASSERT_EQ(Apply(base, good), "rebuilt bytes");
    const auto forged = [&](const std::function<void(Forged&)>& edit) {
        Forged delta = plain;
        edit(delta);
        return delta.Bytes();
    };
    const auto changed = [&](std::size_t at, char value) {
        std::string delta = good;
        delta[at] = value;
        return delta;
    };
    const std::uint64_t sizes = 4 + 1 + 3 + 1;  // magic, version, base and target sizes
    const struct {
        const char* what;
        std::string delta;
    } cases[] = {
        {"empty", ""},
        {"cut inside the header", good.substr(0, 20)},
        {"cut inside the frame", good.substr(0, good.size() - 3)},
        {"another magic", changed(0, 'X')},
        {"an unknown format version", changed(4, 2)},
        {"another base size", forged([](Forged& d) { d.baseSize = 9001; })},
        {"another target hash", changed(sizes + 5, good[sizes + 5] ^ 1)},
        {"no block size", forged([](Forged& d) { d.blockSize = 0; })},
        {"a huge block size", forged([](Forged& d) { d.blockSize = kMaxDeltaBlock + 1; })},
        {"a number beyond 64 bits", good.substr(0, 5) + std::string(10, '\xFF') + '\x01'},
        {"a window past the base", forged([&](Forged& d) {
             d.windows = {{base.size() - 100, 200}};
         })},
        {"an offset past the base", forged([](Forged& d) {
             d.windows = {{~0ull, 1}};
         })},
        {"too many windows", forged([](Forged& d) {
             d.windows.assign(kMaxDeltaWindows + 1, DeltaWindow{0, 1});
         })},
        {"windows beyond the bound", forged([&](Forged& d) {
             d.windows.assign(kMaxDeltaWindow / base.size() + 1,
                              DeltaWindow{0, static_cast<std::uint32_t>(base.size())});
         })},
        {"a huge frame", forged([](Forged& d) { d.frameLength = ~0u; })},
        {"a frame byte changed", changed(good.size() - 2, good[good.size() - 2] ^ 0x40)},
        {"a frame that expands past its block", forged([](Forged& d) {
             const std::string more(5000, 'x');
             d.frame.resize(ZSTD_compressBound(more.size()));
             d.frame.resize(ZSTD_compress(d.frame.data(), d.frame.size(), more.data(), 5000, 3));
         })},
        {"a claimed size beyond its blocks", forged([](Forged& d) { d.target.resize(5000, 'y'); })},
        {"bytes after the last block", forged([](Forged& d) { d.after = "x"; })},
        {"a second frame in a block", forged([](Forged& d) {
             d.frame.resize(ZSTD_compressBound(d.target.size()));
             d.frame.resize(ZSTD_compress(d.frame.data(), d.frame.size(), d.target.data(),
                                          d.target.size(), 3));
             d.frame += d.frame;
         })},
    };
    for (const auto& c : cases) EXPECT_THROW(Apply(base, c.delta), DeltaError) << c.what;
    // Made for this base but applied to another of the same size: the hash catches it.
    const std::string real = MakeDelta(base, base.substr(100) + "new", Small());
    EXPECT_THROW(Apply(Noise(base.size(), 5), real), DeltaError);
    // A target beyond what the caller allows is refused before any block is decoded.
    EXPECT_THROW(Apply(base, real, 1000), DeltaError);
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
    delta[12] ^= 1;  // of the promised hash
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
