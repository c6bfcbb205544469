// Making patches: the patch archive that turns one archive into another.
#pragma once

#include <string>

#include "delta/delta_writer.h"
#include "mix/mix_file.h"
#include "mix/name_index.h"

// Raises MixLimitError when two entries' names match ignoring case: a patch finds
// entries by name, so such an archive cannot be patched reliably. Returns the index
// it checked with, for looking names up.
NameIndex RefuseDuplicateNames(const MixFile& archive);

struct MixDiffOptions {
    // Carry a changed entry that oldPath holds under the same name as a delta of its old
    // self, where that is smaller than DeltaPays asks.
    bool deltas = false;
    DeltaOptions delta;
    WriteProgress progress;
    // Called with the entry bytes diffed so far and their total, as deltas are made.
    WriteProgress diffProgress;
};

// Writes the smallest patch archive that the patch operation turns from oldPath into
// newPath's entries: a descriptor listing removed, updated and rebuilt names, then the
// new or changed entries with newPath's ids, names and bytes (or their deltas). Entries
// equal in name, id and bytes are left out. The entries it reads stay in the registry
// for the caller to release.
void DiffMixArchives(const std::string& oldPath, const std::string& newPath,
                     const std::string& patchPath, const MixDiffOptions& options = {});
