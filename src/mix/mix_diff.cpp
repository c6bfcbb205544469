#include "mix/mix_diff.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <nlohmann/json.hpp>

#include "mix/delta_entry.h"
#include "mix/mix_error.h"
#include "mix/patch_descriptor.h"
#include "platform/worker_threads.h"

namespace {

bool SameBytes(MixArchiveEntry& a, MixArchiveEntry& b) {
    if (a.size != b.size) return false;
    static char left[Stream::kCopyChunk];
    static char right[Stream::kCopyChunk];
    Stream* first = a.GetStream();
    Stream* second = b.GetStream();
    for (;;) {
        const std::int32_t n = first->Read(left, sizeof left);
        if (n <= 0) return second->Read(right, 1) <= 0;
        std::int32_t got = 0;
        while (got < n) {
            const std::int32_t m = second->Read(right + got, static_cast<std::uint32_t>(n - got));
            if (m <= 0) return false;
            got += m;
        }
        if (std::memcmp(left, right, static_cast<std::size_t>(n)) != 0) return false;
    }
}

// A changed entry and its old self, of the same name and id, which a delta would
// rebuild it from.
struct DeltaCandidate {
    MixArchiveEntry* before;
    MixArchiveEntry* after;
    bool pays = false;
};

// Whether each candidate's delta pays, tried alone at a quick level: a few bytes off the
// delta the group makes, which is enough to decide. Entries are read in batches of about
// kBatch bytes, one after another (their archives' handles serve one reader), and each
// batch is tried on all threads at once.
void TryDeltas(std::vector<DeltaCandidate>& candidates, const MixDiffOptions& options) {
    constexpr std::uint64_t kBatch = 256 << 20;
    std::uint64_t total = 0, done = 0;
    for (const DeltaCandidate& candidate : candidates) total += candidate.after->size;
    DeltaOptions quick = options.delta;
    quick.threads = 1;
    quick.level = std::min(quick.level, 3);
    for (std::size_t first = 0; first < candidates.size();) {
        std::vector<std::pair<std::string, std::string>> bytes;
        std::uint64_t batched = 0;
        std::size_t end = first;
        for (; end < candidates.size() && (end == first || batched < kBatch); ++end) {
            bytes.emplace_back(ReadEntryBytes(*candidates[end].before),
                               ReadEntryBytes(*candidates[end].after));
            batched += candidates[end].before->size + candidates[end].after->size;
        }
        WorkQueue queue(end - first);
        std::vector<std::exception_ptr> failures(end - first);
        RunOnThreads(std::min<unsigned>(WorkerThreadCount(), static_cast<unsigned>(end - first)),
                     [&](unsigned) {
                         std::size_t item = 0;
                         while (queue.Take(item)) {
                             try {
                                 const auto& [before, after] = bytes[item];
                                 candidates[first + item].pays =
                                     DeltaPays(after, MakeDelta(before, after, quick));
                             } catch (...) {
                                 failures[item] = std::current_exception();
                             }
                         }
                     });
        for (const std::exception_ptr& failure : failures) {
            if (failure) std::rethrow_exception(failure);
        }
        for (std::size_t i = first; i < end; ++i) done += candidates[i].after->size;
        if (options.diffProgress) options.diffProgress(done / 2, total);
        first = end;
    }
}

// The one delta that rebuilds every paying candidate, in their order, from the old
// entries laid end to end.
std::string GroupDelta(const std::vector<DeltaCandidate*>& paying, const MixDiffOptions& options) {
    std::string before, after;
    for (const DeltaCandidate* candidate : paying) {
        before += ReadEntryBytes(*candidate->before);
        after += ReadEntryBytes(*candidate->after);
    }
    DeltaOptions group = options.delta;
    if (options.diffProgress) {
        group.progress = [&](std::uint64_t done, std::uint64_t total) {
            options.diffProgress(total / 2 + done / 2, total);
        };
    }
    return MakeDelta(before, after, group);
}

}  // namespace

NameIndex RefuseDuplicateNames(const MixFile& archive) {
    NameIndex index(archive.entries);
    if (const auto [first, second] = index.FirstDuplicate(); first != nullptr) {
        throw MixLimitError(archive.path, std::string("holds two entries named \"") + first->name +
                                              "\" and \"" + second->name +
                                              "\" (names are compared ignoring case)");
    }
    return index;
}

void DiffMixArchives(const std::string& oldPath, const std::string& newPath,
                     const std::string& patchPath, const MixDiffOptions& options) {
    MixFile oldArchive(oldPath);
    MixFile newArchive(newPath);
    const NameIndex oldNames = RefuseDuplicateNames(oldArchive);
    const NameIndex newNames = RefuseDuplicateNames(newArchive);

    std::vector<std::string> removed;
    for (const MixArchiveEntry* entry : oldArchive.entries) {
        if (newNames.First(entry->name) == nullptr) removed.push_back(entry->name);
    }
    std::vector<MixArchiveEntry*> changed;
    std::vector<DeltaCandidate> candidates;
    for (MixArchiveEntry* entry : newArchive.entries) {
        MixArchiveEntry* before = oldNames.First(entry->name);
        const bool same = before != nullptr && std::strcmp(before->name, entry->name) == 0 &&
                          before->id == entry->id;
        if (same && SameBytes(*before, *entry)) continue;
        changed.push_back(entry);
        if (same && options.deltas) candidates.push_back({before, entry});
    }
    // The delta's own entry must not shadow one the patch carries.
    for (const MixArchiveEntry* entry : changed) {
        if (NamesMatch(entry->name, kDeltaEntryName)) candidates.clear();
    }
    TryDeltas(candidates, options);

    PatchDescriptor listed;
    listed.removedFiles = removed;
    std::vector<DeltaCandidate*> paying;
    for (DeltaCandidate& candidate : candidates) {
        if (!candidate.pays) continue;
        paying.push_back(&candidate);
        listed.deltaFiles.push_back(candidate.after->name);
        listed.deltaSizes.push_back(candidate.after->size);
    }
    std::vector<MixArchiveEntry*> carried;
    for (std::size_t i = 0, next = 0; i < changed.size(); ++i) {
        if (next < paying.size() && paying[next]->after == changed[i]) {
            ++next;
            continue;
        }
        listed.updatedFiles.push_back(changed[i]->name);
        carried.push_back(changed[i]);
    }
    if (!paying.empty()) {
        auto* delta = new MixArchiveEntryMemory(kDeltaEntryName, 0, GroupDelta(paying, options));
        MixEntryRegistry().push_back(delta);
        carried.push_back(delta);
    }

    // The descriptor must be the first descriptor-named entry of the patch and must
    // not shadow an updated entry of the same name, which the patch looks up by name.
    const char* descriptorName = nullptr;
    for (const char* candidate : kDescriptorNames) {
        bool shadows = false;
        for (const MixArchiveEntry* entry : carried)
            shadows = shadows || NamesMatch(entry->name, candidate);
        if (!shadows) {
            descriptorName = candidate;
            break;
        }
    }
    if (descriptorName == nullptr) {
        throw MixLimitError(newPath,
                            "changes entries named both \".vantle.patch\" and "
                            "\".mordopatch\", which a patch cannot carry");
    }

    std::string descriptorText;
    try {
        descriptorText = PatchDescriptorText(listed);
    } catch (const nlohmann::json::exception&) {
        throw MixLimitError(newPath,
                            "holds entry names that are not UTF-8 text, which a patch "
                            "descriptor cannot list");
    }
    auto* descriptor = new MixArchiveEntryMemory(descriptorName, 0, descriptorText);
    MixEntryRegistry().push_back(descriptor);

    MixFile patch;
    patch.path = patchPath;
    std::vector<MixArchiveEntry*> entries{descriptor};
    entries.insert(entries.end(), carried.begin(), carried.end());
    patch.ReplaceFiles(entries);  // stable: the descriptor stays ahead of other id-0 entries
    WriteMixFileTo(patch, patchPath, options.progress);
}
