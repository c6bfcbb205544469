#include "mix/mix_diff.h"

#include <cstring>
#include <nlohmann/json.hpp>

#include "mix/mix_error.h"
#include "mix/patch_descriptor.h"

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
                     const std::string& patchPath, const WriteProgress& progress) {
    MixFile oldArchive(oldPath);
    MixFile newArchive(newPath);
    const NameIndex oldNames = RefuseDuplicateNames(oldArchive);
    const NameIndex newNames = RefuseDuplicateNames(newArchive);

    std::vector<std::string> removed;
    for (const MixArchiveEntry* entry : oldArchive.entries) {
        if (newNames.First(entry->name) == nullptr) removed.push_back(entry->name);
    }
    std::vector<std::string> updated;
    std::vector<MixArchiveEntry*> carried;
    for (MixArchiveEntry* entry : newArchive.entries) {
        MixArchiveEntry* before = oldNames.First(entry->name);
        if (before != nullptr && std::strcmp(before->name, entry->name) == 0 &&
            before->id == entry->id && SameBytes(*before, *entry)) {
            continue;
        }
        updated.push_back(entry->name);
        carried.push_back(entry);
    }

    // The descriptor must be the first descriptor-named entry of the patch and must
    // not shadow an updated entry of the same name, which the patch looks up by name.
    const char* descriptorName = nullptr;
    for (const char* candidate : kDescriptorNames) {
        bool shadows = false;
        for (const std::string& name : updated)
            shadows = shadows || NamesMatch(name.c_str(), candidate);
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
        descriptorText =
            nlohmann::json{{"removedFiles", removed}, {"updatedFiles", updated}}.dump();
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
    WriteMixFileTo(patch, patchPath, progress);
}
