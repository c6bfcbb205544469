// Making patches: the patch archive that turns one archive into another.
#pragma once

#include <string>

#include "mix/mix_file.h"
#include "mix/name_index.h"

// Raises MixLimitError when two entries' names match ignoring case: a patch finds
// entries by name, so such an archive cannot be patched reliably. Returns the index
// it checked with, for looking names up.
NameIndex RefuseDuplicateNames(const MixFile& archive);

// Writes the smallest patch archive that the patch operation turns from oldPath into
// newPath's entries: a descriptor listing removed and updated names, then the new or
// changed entries with newPath's ids, names and bytes. Entries equal in name, id and
// bytes are left out. The entries it reads stay in the registry for the caller to release.
void DiffMixArchives(const std::string& oldPath, const std::string& newPath,
                     const std::string& patchPath, const WriteProgress& progress = {});
