// Patches whose entries travel as deltas: made by the differ, applied by the patcher.
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "delta/delta_writer.h"
#include "mix/delta_entry.h"
#include "mix/mix_diff.h"
#include "mix/mix_error.h"
#include "mix/mix_patcher.h"
#include "mix/patch_descriptor.h"
#include "mix_test_support.h"
#include "temp_dir.h"

namespace {

class DeltaPatchTest : public MixTest {
protected:
    // Diffs before into after with deltas and returns the patch's descriptor.
    PatchDescriptor Diff(const std::vector<RawEntry>& before, const std::vector<RawEntry>& after) {
        WriteBytes(dir.File("old.mix"), BuildMix(before));
        WriteBytes(dir.File("new.mix"), BuildMix(after));
        MixDiffOptions options;
        options.deltas = true;
        options.delta.blockSize = 4096;  // several blocks on small entries
        options.delta.windowSize = 8192;
        options.delta.level = 3;
        DiffMixArchives(dir.File("old.mix"), dir.File("new.mix"), dir.File("patch.mix"), options);
        ReleaseMixEntries();
        MixFile patch(dir.File("patch.mix"));
        const PatchDescriptor descriptor = ParsePatchDescriptor(
            ReadDescriptorText(*FindDescriptorEntry(patch)), dir.File("patch.mix"));
        ReleaseMixEntries();
        return descriptor;
    }

    std::vector<RawEntry> Patched() {
        PatchMixFile(dir.File("old.mix"), dir.File("out.mix"), dir.File("patch.mix"));
        MixFile output(dir.File("out.mix"));
        auto contents = Contents(output);
        ReleaseMixEntries();
        return contents;
    }

    // The patch archive with the data of its entry named name replaced.
    void RewritePatchEntry(const std::string& name, const std::function<void(std::string&)>& edit) {
        MixFile patch(dir.File("patch.mix"));
        std::vector<RawEntry> entries = Contents(patch);
        ReleaseMixEntries();
        for (RawEntry& entry : entries) {
            if (entry.name == name) edit(entry.data);
        }
        WriteBytes(dir.File("patch.mix"), BuildMix(entries));
    }

    TempDir dir;
};

// Bytes no compressor shrinks, so that only a delta can.
std::string Noise(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::vector<RawEntry> Sorted(std::vector<RawEntry> entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const RawEntry& a, const RawEntry& b) { return a.id < b.id; });
    return entries;
}

TEST_F(DeltaPatchTest, ChangedEntriesTravelAsDeltasAndRebuildByteForByte) {
    const std::string big = Noise(40000, 1);
    std::string edited = big;
    edited.replace(4096, 3, "new");  // at a block edge
    const std::vector<RawEntry> before = {{"art.shp", 1, big},    {"grown.dat", 2, big},
                                          {"shrunk.dat", 3, big}, {"empty.dat", 4, ""},
                                          {"tiny.ini", 5, "a=1"}, {"gone.ini", 6, "x"},
                                          {"same.dat", 7, big},   {"emptied.dat", 8, big}};
    const std::vector<RawEntry> after = {
        {"art.shp", 1, edited},
        {"grown.dat", 2, big.substr(0, 9000) + Noise(3000, 9) + big.substr(9000)},
        {"shrunk.dat", 3, big.substr(0, 5000) + big.substr(15000)},
        {"empty.dat", 4, Noise(30, 3)},
        {"tiny.ini", 5, "a=2"},
        {"fresh.dat", 9, Noise(5000, 4)},
        {"same.dat", 7, big},
        {"emptied.dat", 8, ""}};
    const PatchDescriptor descriptor = Diff(before, after);
    EXPECT_EQ(descriptor.version, 2);
    EXPECT_EQ(descriptor.deltaFiles,
              (std::vector<std::string>{"art.shp", "grown.dat", "shrunk.dat"}));
    // What no delta makes smaller goes whole, as before.
    EXPECT_EQ(descriptor.updatedFiles,
              (std::vector<std::string>{"empty.dat", "tiny.ini", "emptied.dat", "fresh.dat"}));
    EXPECT_EQ(descriptor.removedFiles, std::vector<std::string>{"gone.ini"});
    EXPECT_EQ(Patched(), Sorted(after));
}

// The writer reads rebuilt entries in the delta's order; any other reader still gets
// each entry's own bytes, the delta started over where needed.
TEST_F(DeltaPatchTest, RebuiltEntriesReadInAnyOrder) {
    const std::string a = Noise(30000, 1), b = Noise(30000, 2);
    const std::vector<RawEntry> after = {{"a", 1, a.substr(0, 29000) + "x"}, {"b", 2, b + "y"}};
    ASSERT_EQ(Diff({{"a", 1, a}, {"b", 2, b}}, after).deltaFiles.size(), 2u);
    MixFile source(dir.File("old.mix"));
    MixFile patch(dir.File("patch.mix"));
    MixPatcher(&source).ApplyPatch(&patch);
    ASSERT_EQ(source.entries.size(), 2u);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(ReadEntry(*source.entries[1]), after[1].data);
        EXPECT_EQ(ReadEntry(*source.entries[0]), after[0].data);
    }
}

TEST_F(DeltaPatchTest, WithoutDeltasThePatchStaysVersionOne) {
    const std::vector<RawEntry> before = {{"a", 1, Pattern(9000, 1)}};
    Diff(before, before);  // nothing changed: nothing to delta
    MixFile patch(dir.File("patch.mix"));
    const std::string text = ReadDescriptorText(*FindDescriptorEntry(patch));
    EXPECT_EQ(text, R"({"removedFiles":[],"updatedFiles":[]})");
}

TEST_F(DeltaPatchTest, ADeltaThatDoesNotRebuildItsEntryWritesNothing) {
    const std::string big = Noise(20000, 1);
    std::string edited = big;
    edited[100] = 'x';
    const struct {
        const char* what;
        std::function<void(std::string&)> edit;
    } faults[] = {
        {"a byte of its promised hash", [](std::string& d) { d[40] ^= 1; }},
        {"cut short", [](std::string& d) { d.resize(d.size() - 1); }},
        {"not a delta", [](std::string& d) { d = "plain bytes"; }},
    };
    for (const auto& fault : faults) {
        ASSERT_EQ(Diff({{"a", 1, big}}, {{"a", 1, edited}}).deltaFiles.size(), 1u);
        RewritePatchEntry(kDeltaEntryName, fault.edit);
        EXPECT_THROW(Patched(), MixFormatError) << fault.what;
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.mix"))) << fault.what;
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.mix.part"))) << fault.what;
        EXPECT_EQ(LiveMixEntryCount(), 0u);
    }
    // Another base of the same size: the rebuilt bytes miss the promised hash.
    ASSERT_EQ(Diff({{"a", 1, big}}, {{"a", 1, edited}}).deltaFiles.size(), 1u);
    WriteBytes(dir.File("old.mix"), BuildMix({{"a", 1, Noise(20000, 5)}}));
    EXPECT_THROW(Patched(), MixFormatError);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.mix")));
}

TEST_F(DeltaPatchTest, DeltasThatDoNotFitTheirListingsAreRefused) {
    const auto descriptor = [](const std::string& name, std::uint32_t size) {
        return nlohmann::json{{"version", 2},
                              {"removedFiles", nlohmann::json::array()},
                              {"updatedFiles", nlohmann::json::array()},
                              {"deltaFiles", {name}},
                              {"deltaSizes", {size}}}
            .dump();
    };
    WriteBytes(dir.File("old.mix"), BuildMix({{"a", 1, "alpha"}}));
    const std::string delta = MakeDelta("alpha", "alphabet");
    const struct {
        const char* what;
        std::vector<RawEntry> patch;
    } cases[] = {
        {"a name the archive lacks",
         {{".vantle.patch", 0, descriptor("b", 8)}, {kDeltaEntryName, 0, delta}}},
        {"no delta entry", {{".vantle.patch", 0, descriptor("a", 8)}, {"a", 1, delta}}},
        {"another size", {{".vantle.patch", 0, descriptor("a", 9)}, {kDeltaEntryName, 0, delta}}},
        {"no sizes",
         {{".vantle.patch", 0,
           R"({"version":2,"removedFiles":[],"updatedFiles":[],"deltaFiles":["a"]})"},
          {kDeltaEntryName, 0, delta}}},
    };
    for (const auto& c : cases) {
        WriteBytes(dir.File("patch.mix"), BuildMix(c.patch));
        EXPECT_ANY_THROW(Patched()) << c.what;
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.mix"))) << c.what;
    }
    WriteBytes(dir.File("patch.mix"),
               BuildMix({{".vantle.patch", 0, descriptor("a", 8)}, {kDeltaEntryName, 0, delta}}));
    EXPECT_EQ(Patched(), (std::vector<RawEntry>{{"a", 1, "alphabet"}}));
}

TEST(PatchDescriptorVersion, UnknownVersionsAreRefusedWithTheirNumber) {
    for (const char* version : {"3", "0", "\"2\"", "2.5"}) {
        const std::string text =
            std::string(R"({"removedFiles":[],"updatedFiles":[],"version":)") + version + "}";
        try {
            ParsePatchDescriptor(text, "p.mix");
            ADD_FAILURE() << version;
        } catch (const MixFormatError& error) {
            EXPECT_NE(std::string(error.what()).find(std::string("version ") + version),
                      std::string::npos)
                << error.what();
        }
    }
    // Version 1 knows no deltas: a member of that name is skipped like any other.
    EXPECT_TRUE(ParsePatchDescriptor(R"({"removedFiles":[],"updatedFiles":[],"deltaFiles":["a"]})")
                    .deltaFiles.empty());
}

}  // namespace
