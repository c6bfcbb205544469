#include "mix/mix_patcher.h"

#include <cstdio>
#include <vector>

#include "mix/delta_entry.h"
#include "mix/mix_error.h"
#include "mix/name_index.h"
#include "mix/patch_descriptor.h"
#include "platform/file_system.h"
#include "platform/status_sink.h"

void MixPatcher::ApplyPatch(MixFile* patch) {
    if (target_ == nullptr || patch == nullptr) return;
    MixArchiveEntry* descriptorEntry = FindDescriptorEntry(*patch);
    if (descriptorEntry == nullptr) return;
    const PatchDescriptor descriptor =
        ParsePatchDescriptor(ReadDescriptorText(*descriptorEntry), patch->path);

    // Only entries the descriptor names can move: the index holds just those, and the
    // rest keep their places. c_str(): a name from the descriptor ends at its first NUL,
    // as entry names do.
    std::vector<const char*> named;
    for (const auto* names :
         {&descriptor.removedFiles, &descriptor.deltaFiles, &descriptor.updatedFiles}) {
        for (const std::string& name : *names) named.push_back(name.c_str());
    }
    const NameSet namedSet(named);
    std::vector<std::uint32_t> namedAt;
    std::vector<MixArchiveEntry*> namedEntries;
    for (std::uint32_t position = 0; position < target_->entries.size(); ++position) {
        MixArchiveEntry* entry = target_->entries[position];
        if (namedSet.Holds(entry->name)) {
            namedAt.push_back(position);
            namedEntries.push_back(entry);
        }
    }

    NameIndex working(std::move(namedEntries));
    const NameIndex patchNames(patch->entries);
    for (const std::string& name : descriptor.removedFiles) working.RemoveFirst(name.c_str());
    if (!descriptor.deltaFiles.empty()) {
        MixArchiveEntry* delta = patchNames.First(kDeltaEntryName);
        if (delta == nullptr) {
            throw MixFormatError(
                patch->path, std::string("the patch lists deltas but holds no ") + kDeltaEntryName);
        }
        std::vector<MixArchiveEntry*> bases;
        for (const std::string& name : descriptor.deltaFiles) {
            MixArchiveEntry* base = working.First(name.c_str());
            if (base == nullptr) {
                throw MixFormatError(patch->path, "the delta list names \"" + name +
                                                      "\", which the archive does not hold");
            }
            bases.push_back(base);
            working.RemoveFirst(name.c_str());
        }
        const auto group = MakeDeltaGroup(bases, descriptor.deltaSizes, *delta, patch->path);
        for (std::size_t i = 0; i < bases.size(); ++i) {
            auto* rebuilt = new MixArchiveEntryDelta(group, i);
            MixEntryRegistry().push_back(rebuilt);
            working.Append(rebuilt);
        }
    }
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

    std::vector<MixArchiveEntry*> patched;
    patched.reserve(target_->entries.size() + descriptor.updatedFiles.size() +
                    descriptor.deltaFiles.size());
    std::uint32_t next = 0;  // of the named entries
    for (std::uint32_t position = 0; position < target_->entries.size(); ++position) {
        if (next < namedAt.size() && namedAt[next] == position) {
            if (working.Listed(next++)) patched.push_back(target_->entries[position]);
        } else {
            patched.push_back(target_->entries[position]);
        }
    }
    for (; next < working.size(); ++next) {
        if (working.Listed(next)) patched.push_back(working.At(next));
    }
    target_->ReplaceFiles(std::move(patched));
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
