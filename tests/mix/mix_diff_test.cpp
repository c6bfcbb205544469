// Diffs and patches find entries through an index by folded name; these sweeps hold
// them to the plain scans they replaced, over archives with names that differ only in
// case, names cut at a NUL, duplicates, descriptor-named entries and repeated listings.
#include "mix/mix_diff.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <random>

#include "mix/mix_error.h"
#include "mix/mix_patcher.h"
#include "mix/patch_descriptor.h"
#include "mix_test_support.h"
#include "temp_dir.h"

namespace {

using MixDiffTest = MixTest;
using EntryList = std::vector<MixArchiveEntry*>;

MixArchiveEntry* ScanFirst(const EntryList& list, const char* name) {
    for (MixArchiveEntry* entry : list) {
        if (NamesMatch(entry->name, name)) return entry;
    }
    return nullptr;
}

// The patch bytes the scanning diff wrote, or a text its refusal must contain.
std::string ReferenceDiff(TempDir& dir, const std::string& oldPath, const std::string& newPath) {
    const MixFile before(oldPath);
    const MixFile after(newPath);
    for (const MixFile* archive : {&before, &after}) {
        const EntryList& list = archive->entries;
        for (std::size_t i = 0; i < list.size(); ++i) {
            for (std::size_t j = i + 1; j < list.size(); ++j) {
                if (NamesMatch(list[i]->name, list[j]->name)) {
                    return std::string("refused: \"") + list[i]->name + "\" and \"" +
                           list[j]->name + "\"";
                }
            }
        }
    }
    std::vector<std::string> removed;
    std::vector<std::string> updated;
    EntryList entries;
    for (MixArchiveEntry* entry : before.entries) {
        if (ScanFirst(after.entries, entry->name) == nullptr) removed.push_back(entry->name);
    }
    for (MixArchiveEntry* entry : after.entries) {
        MixArchiveEntry* old = ScanFirst(before.entries, entry->name);
        if (old == nullptr || std::strcmp(old->name, entry->name) != 0 || old->id != entry->id ||
            ReadEntry(*old) != ReadEntry(*entry)) {
            updated.push_back(entry->name);
            entries.push_back(entry);
        }
    }
    const char* descriptorName = nullptr;
    for (const char* candidate : kDescriptorNames) {
        if (descriptorName == nullptr &&
            std::none_of(updated.begin(), updated.end(), [&](const std::string& name) {
                return NamesMatch(name.c_str(), candidate);
            })) {
            descriptorName = candidate;
        }
    }
    if (descriptorName == nullptr) return "refused: \".vantle.patch\" and \".mordopatch\"";
    std::string text;
    try {
        text = nlohmann::json{{"removedFiles", removed}, {"updatedFiles", updated}}.dump();
    } catch (const nlohmann::json::exception&) {
        return "refused: not UTF-8";
    }
    entries.insert(entries.begin(), NewMemoryEntry(descriptorName, 0, text));
    MixFile patch;
    patch.ReplaceFiles(entries);
    WriteMixFileTo(patch, dir.File("reference.mix"));
    return ReadBytes(dir.File("reference.mix"));
}

// The scanning patcher: the same edit of the target's list, or false where it refused.
bool ReferencePatch(EntryList& target, const EntryList& patch,
                    const std::vector<std::string>& removed,
                    const std::vector<std::string>& updated) {
    const auto removeFirst = [&](const std::string& name) {
        if (MixArchiveEntry* match = ScanFirst(target, name.c_str())) {
            target.erase(std::remove(target.begin(), target.end(), match), target.end());
        }
    };
    for (const std::string& name : removed) removeFirst(name);
    for (const std::string& name : updated) {
        MixArchiveEntry* replacement = ScanFirst(patch, name.c_str());
        if (replacement == nullptr) return false;
        removeFirst(name);
        target.push_back(replacement);
    }
    std::stable_sort(
        target.begin(), target.end(),
        [](const MixArchiveEntry* a, const MixArchiveEntry* b) { return a->id < b->id; });
    return true;
}

// Names by folded group: an archive holding two of one group holds a duplicate.
const std::vector<std::vector<std::string>> kNameGroups = {{"a.ini", "A.INI", "a.Ini"},
                                                           {"b.shp", "B.SHP"},
                                                           {"c.pal"},
                                                           {".vantle.patch", ".VANTLE.PATCH"},
                                                           {".mordopatch", ".MordoPatch"},
                                                           {"d.aud"},
                                                           {std::string("e\0tail", 6), "E"},
                                                           {"f\xC9.vqa"}};

// Archives drawn from the groups: a group now and then appears twice, the one that is
// not UTF-8 rarely at all.
class Sweep {
public:
    explicit Sweep(unsigned seed) : random_(seed) {}

    bool Chance(double p) { return std::bernoulli_distribution(p)(random_); }
    std::size_t Below(std::size_t n) { return random_() % n; }
    std::string Variant(std::size_t group) {
        return kNameGroups[group][Below(kNameGroups[group].size())];
    }

    std::vector<RawEntry> Archive() {
        std::vector<RawEntry> entries;
        for (std::size_t group = 0; group < kNameGroups.size(); ++group) {
            if (!Chance(group + 1 == kNameGroups.size() ? 0.05 : 0.6)) continue;
            do {
                entries.push_back({Variant(group), kIds[Below(4)], kData[Below(4)]});
            } while (Chance(0.04));
        }
        std::shuffle(entries.begin(), entries.end(), random_);
        return entries;
    }

    // Drops, changes the bytes, id or letter case of, or keeps each entry; adds one.
    std::vector<RawEntry> Changed(const std::vector<RawEntry>& entries) {
        std::vector<RawEntry> changed;
        for (RawEntry entry : entries) {
            switch (Below(8)) {
                case 0:
                    continue;
                case 1:
                    entry.data += "!";
                    break;
                case 2:
                    entry.id ^= 1;
                    break;
                case 3:
                    std::swap(entry.name[0], entry.name[entry.name.size() - 1]);
                    break;
                case 4:
                    entry.name[0] = static_cast<char>(std::toupper(entry.name[0]));
                    break;
            }
            changed.push_back(entry);
        }
        if (Chance(0.3)) changed.push_back({Variant(Below(kNameGroups.size() - 1)), 9, "new"});
        return changed;
    }

private:
    static constexpr std::uint32_t kIds[] = {1, 2, 3, 0x80000000u};
    inline static const std::string kData[] = {"", "x", "12345678", "nine byte"};
    std::mt19937 random_;
};

}  // namespace

TEST_F(MixDiffTest, IndexedDiffWritesTheScanningDiffsPatchByteForByte) {
    TempDir dir;
    const std::string oldPath = dir.File("old.mix");
    const std::string newPath = dir.File("new.mix");
    const auto expectSame = [&](const std::vector<RawEntry>& before,
                                const std::vector<RawEntry>& after, const std::string& round) {
        WriteBytes(oldPath, BuildMix(before));
        WriteBytes(newPath, BuildMix(after));
        const std::string expected = ReferenceDiff(dir, oldPath, newPath);
        try {
            DiffMixArchives(oldPath, newPath, dir.File("patch.mix"));
            EXPECT_EQ(ReadBytes(dir.File("patch.mix")), expected) << round;
        } catch (const MixLimitError& error) {
            EXPECT_EQ(expected.rfind("refused: ", 0), 0u) << round << ": " << error.what();
            EXPECT_NE(error.fault().find(expected.substr(9)), std::string::npos)
                << round << ": " << error.what();
        }
        ReleaseMixEntries();
    };
    // The first pair in list order, not the first found; a name cut at its NUL; both
    // descriptor names changed.
    expectSame({}, {{"a", 1, ""}, {"b", 1, ""}, {"B", 1, ""}, {"A", 1, ""}}, "pair");
    expectSame({{std::string("a.ini\0old", 9), 1, "x"}}, {{"A.INI", 1, "x"}}, "nul");
    expectSame({}, {{".VANTLE.PATCH", 0, "{}"}, {".mordopatch", 0, "{}"}}, "descriptors");
    Sweep sweep(20240611);
    for (int round = 0; round < 150; ++round) {
        const std::vector<RawEntry> before = sweep.Archive();
        expectSame(before, sweep.Changed(before), "round " + std::to_string(round));
    }
}

// Through MixPatcher itself, so that lists may repeat an entry or share it with the patch.
TEST_F(MixDiffTest, IndexedPatchEditsTheListAsTheScanningPatchDid) {
    Sweep sweep(20240612);
    // Now and then one more listing of an entry of shared, or of the list itself.
    const auto entries = [&](const EntryList* shared) {
        EntryList list;
        for (const RawEntry& raw : sweep.Archive()) {
            list.push_back(NewMemoryEntry(raw.name, raw.id, raw.data));
        }
        const EntryList& from = shared != nullptr ? *shared : list;
        if (!from.empty() && sweep.Chance(0.2)) {
            MixArchiveEntry* again = from[sweep.Below(from.size())];
            list.push_back(again);
        }
        return list;
    };
    for (int round = 0; round < 300; ++round) {
        MixFile target;
        target.ReplaceFiles(entries(nullptr));
        EntryList patch = entries(&target.entries);
        std::vector<std::string> removed;
        std::vector<std::string> updated;
        for (std::size_t n = sweep.Below(4); n > 0; --n) {
            removed.push_back(sweep.Variant(sweep.Below(kNameGroups.size())));
        }
        for (std::size_t n = patch.empty() ? 0 : sweep.Below(4); n > 0; --n) {
            updated.push_back(sweep.Chance(0.9) ? patch[sweep.Below(patch.size())]->name
                                                : "absent");
        }
        // Names that are not UTF-8 reach the descriptor spoilt, and then match nothing.
        const std::string text =
            nlohmann::json{{"removedFiles", removed}, {"updatedFiles", updated}}.dump(
                -1, ' ', false, nlohmann::json::error_handler_t::replace);
        patch.push_back(NewMemoryEntry(".vantle.patch", 0, text));
        MixFile patchFile;
        patchFile.ReplaceFiles(patch);

        EntryList expected = target.entries;
        const std::string name = "round " + std::to_string(round);
        const PatchDescriptor listed = ParsePatchDescriptor(text);
        if (!ReferencePatch(expected, patchFile.entries, listed.removedFiles,
                            listed.updatedFiles)) {
            expected = target.entries;
            EXPECT_THROW(MixPatcher(&target).ApplyPatch(&patchFile), MixFormatError) << name;
        } else {
            MixPatcher(&target).ApplyPatch(&patchFile);
        }
        EXPECT_EQ(target.entries, expected) << name;
        ReleaseMixEntries();
    }
}
