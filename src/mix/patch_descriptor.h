// The descriptor entry of a patch archive and the JSON record it carries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mix/mix_file.h"

// A descriptor without "version" is of version 1. Version 2 adds entries rebuilt from
// their previous selves by deltas; a reader refuses a version it does not know rather
// than patch half of what the patch means.
inline constexpr int kPatchFormatVersion = 2;

struct PatchDescriptor {
    int version = 1;
    std::vector<std::string> removedFiles;
    std::vector<std::string> updatedFiles;
    // From version 2 on: entries rebuilt by the patch's delta (see delta_entry.h), and
    // the size of each once rebuilt.
    std::vector<std::string> deltaFiles;
    std::vector<std::uint32_t> deltaSizes;
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

// Raises nlohmann::json's exceptions for text that is not such a record, MixFormatError
// naming origin for a version this reader does not know; whatever follows the object is
// ignored.
PatchDescriptor ParsePatchDescriptor(const std::string& text,
                                     const std::string& origin = "patch descriptor");

// The descriptor's text; the version-1 form when there are no deltas, which launchers
// that know no version read as well.
std::string PatchDescriptorText(const PatchDescriptor& descriptor);
