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

// A changed entry and its old self, which its delta would be made from.
struct DeltaCandidate {
    MixArchiveEntry* before;
    MixArchiveEntry* after;
    std::string delta;  // empty: carried whole
};

// Deltas of the candidates, kept where they pay. Entries are read in batches of about
// kBatch bytes, one after another (their archives' handles serve one reader), and the
// batch's deltas made on all threads at once, each entry's blocks on one thread.
void MakeEntryDeltas(std::vector<DeltaCandidate>& candidates, const MixDiffOptions& options) {
    constexpr std::uint64_t kBatch = 256 << 20;
    std::uint64_t total = 0, done = 0;
    for (const DeltaCandidate& candidate : candidates) total += candidate.after->size;
    for (std::size_t first = 0; first < candidates.size();) {
        std::vector<std::pair<std::string, std::string>> bytes;
        std::uint64_t batched = 0;
        std::size_t end = first;
        for (; end < candidates.size() && (end == first || batched < kBatch); ++end) {
            bytes.emplace_back(ReadEntryBytes(*candidates[end].before),
                               ReadEntryBytes(*candidates[end].after));
            batched += candidates[end].before->size + candidates[end].after->size;
        }
        DeltaOptions one = options.delta;
        one.threads = 1;
        WorkQueue queue(end - first);
        std::vector<std::exception_ptr> failures(end - first);
        RunOnThreads(std::min<unsigned>(WorkerThreadCount(), static_cast<unsigned>(end - first)),
                     [&](unsigned) {
                         std::size_t item = 0;
                         while (queue.Take(item)) {
                             try {
                                 const auto& [before, after] = bytes[item];
                                 std::string delta = MakeDelta(before, after, one);
                                 if (DeltaPays(after, delta))
                                     candidates[first + item].delta = std::move(delta);
                             } catch (...) {
                                 failures[item] = std::current_exception();
                             }
                         }
                     });
        for (const std::exception_ptr& failure : failures) {
            if (failure) std::rethrow_exception(failure);
        }
        for (std::size_t i = first; i < end; ++i) done += candidates[i].after->size;
        if (options.diffProgress) options.diffProgress(done, total);
        first = end;
    }
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
    std::vector<DeltaCandidate> changed;
    for (MixArchiveEntry* entry : newArchive.entries) {
        MixArchiveEntry* before = oldNames.First(entry->name);
        if (before != nullptr && std::strcmp(before->name, entry->name) == 0 &&
            before->id == entry->id && SameBytes(*before, *entry)) {
            continue;
        }
        changed.push_back({options.deltas ? before : nullptr, entry, {}});
    }
    std::vector<DeltaCandidate> candidates;
    for (const DeltaCandidate& candidate : changed) {
        if (candidate.before != nullptr) candidates.push_back(candidate);
    }
    MakeEntryDeltas(candidates, options);

    PatchDescriptor listed;
    listed.removedFiles = removed;
    std::vector<MixArchiveEntry*> carried;
    for (std::size_t i = 0, next = 0; i < changed.size(); ++i) {
        MixArchiveEntry* entry = changed[i].after;
        std::string* delta = nullptr;
        if (changed[i].before != nullptr) delta = &candidates[next++].delta;
        if (delta == nullptr || delta->empty()) {
            listed.updatedFiles.push_back(entry->name);
            carried.push_back(entry);
            continue;
        }
        listed.deltaFiles.push_back(entry->name);
        auto* carrier = new MixArchiveEntryMemory(entry->name, entry->id, std::move(*delta));
        MixEntryRegistry().push_back(carrier);
        carried.push_back(carrier);
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
