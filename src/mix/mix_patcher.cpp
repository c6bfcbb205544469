#include "mix/mix_patcher.h"

#include <cstdio>

#include "mix/mix_error.h"
#include "mix/name_index.h"
#include "mix/patch_descriptor.h"
#include "platform/file_system.h"
#include "platform/status_sink.h"

void MixPatcher::ApplyPatch(MixFile* patch) {
    if (target_ == nullptr || patch == nullptr) return;
    MixArchiveEntry* descriptorEntry = FindDescriptorEntry(*patch);
    if (descriptorEntry == nullptr) return;
    const PatchDescriptor descriptor = ParsePatchDescriptor(ReadDescriptorText(*descriptorEntry));

    // c_str(): a name from the descriptor ends at its first NUL, as entry names do.
    NameIndex working(target_->entries);
    const NameIndex patchNames(patch->entries);
    for (const std::string& name : descriptor.removedFiles) working.RemoveFirst(name.c_str());
    for (const std::string& name : descriptor.updatedFiles) {
        MixArchiveEntry* replacement = patchNames.First(name.c_str());
        // Dropping the entry instead would shorten the archive without a word.
        if (replacement == nullptr) {
            throw MixFormatError(patch->path, "the update list names \"" + name +
                                                  "\", which the patch does not hold");
        }
        working.RemoveFirst(name.c_str());
        working.Append(replacement);
    }
    target_->ReplaceFiles(working.Entries());
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
