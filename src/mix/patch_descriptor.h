// The descriptor entry of a patch archive and the JSON record it carries.
#pragma once

#include <string>
#include <vector>

#include "mix/mix_file.h"

struct PatchDescriptor {
    std::vector<std::string> removedFiles;
    std::vector<std::string> updatedFiles;
};

inline constexpr const char* kDescriptorNames[] = {".vantle.patch", ".mordopatch"};

// ASCII letters in lower case, every other byte as it is.
inline char FoldedAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal without regard to ASCII letter case, as NUL-terminated texts: equal once folded.
bool NamesMatch(const char* a, const char* b);
bool IsDescriptorName(const char* name);

// The first descriptor entry in the archive's (id-sorted) list, or nullptr.
MixArchiveEntry* FindDescriptorEntry(const MixFile& patch);

// The entry's bytes up to its size or its first NUL, whichever comes first.
std::string ReadDescriptorText(MixArchiveEntry& entry);

// Raises nlohmann::json's exceptions for text that is not such a record; whatever
// follows the object is ignored.
PatchDescriptor ParsePatchDescriptor(const std::string& text);
