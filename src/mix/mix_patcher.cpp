#include "mix/mix_patcher.h"

#include <algorithm>
#include <cstdio>

#include "mix/mix_error.h"
#include "mix/patch_descriptor.h"
#include "platform/file_system.h"
#include "platform/status_sink.h"

namespace {

using EntryList = std::vector<MixArchiveEntry*>;

MixArchiveEntry* FirstMatch(const EntryList& list, const std::string& name) {
    for (MixArchiveEntry* entry : list) {
        if (NamesMatch(entry->name.get(), name.c_str())) return entry;
    }
    return nullptr;
}

void RemoveFirstMatch(EntryList& list, const std::string& name) {
    if (MixArchiveEntry* match = FirstMatch(list, name)) {
        list.erase(std::remove(list.begin(), list.end(), match), list.end());
    }
}

}  // namespace

void MixPatcher::ApplyPatch(MixFile* patch) {
    if (target_ == nullptr || patch == nullptr) return;
    MixArchiveEntry* descriptorEntry = FindDescriptorEntry(*patch);
    if (descriptorEntry == nullptr) return;
    const PatchDescriptor descriptor = ParsePatchDescriptor(ReadDescriptorText(*descriptorEntry));

    EntryList working = target_->entries;
    for (const std::string& name : descriptor.removedFiles) RemoveFirstMatch(working, name);
    for (const std::string& name : descriptor.updatedFiles) {
        MixArchiveEntry* replacement = FirstMatch(patch->entries, name);
        // Dropping the entry instead would shorten the archive without a word.
        if (replacement == nullptr) {
            throw MixFormatError(patch->path, "the update list names \"" + name +
                                                  "\", which the patch does not hold");
        }
        RemoveFirstMatch(working, name);
        working.push_back(replacement);
    }
    target_->ReplaceFiles(std::move(working));
}

void PatchMixFile(const std::string& sourcePath, const std::string& outputPath,
                  const std::string& patchPath) {
    PatchMixFile(sourcePath, outputPath, patchPath, WriteProgress());
}

void PatchMixFile(const std::string& sourcePath, const std::string& outputPath,
                  const std::string& patchPath, const WriteProgress& progress) {
    Status().SetStatusText("Appyling Patch File " + patchPath);
    std::string temporary;
    try {
        MixFile source(sourcePath);
        MixFile patch(patchPath);
        MixPatcher(&source).ApplyPatch(&patch);
        temporary = WriteMixFileBeside(source, outputPath, progress);
        // Every handle on the source and the patch is closed before the output takes
        // its name, so the output may even replace one of them.
        ReleaseMixEntries();
        ReplaceFileWith(temporary, outputPath);
    } catch (...) {
        if (!temporary.empty()) RemoveFileIfPresent(temporary);
        ReleaseMixEntries();
        throw;
    }
}
