// Entries rebuilt from their previous selves. A patch carries one delta for all of them:
// its base is the old entries laid end to end, its target the new ones, in the order
// the patch lists them, which is the order the writer reaches them. One reader streams
// the whole target entry by entry, so a release of many small edits pays for one header
// and shares its frames, and none of the last entry's bytes is written before every
// rebuilt byte has proved the delta's SHA-256.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mix/mix_file.h"

// The name of the patch entry that holds the delta.
inline constexpr char kDeltaEntryName[] = ".kestrava.deltas";

class DeltaGroup;

class MixArchiveEntryDelta final : public MixArchiveEntry {
public:
    // The group's index-th entry: its base's name and id, and the size the patch gives.
    MixArchiveEntryDelta(std::shared_ptr<DeltaGroup> group, std::size_t index);
    ~MixArchiveEntryDelta() override;

    // Reading raises MixFormatError where the delta does not rebuild what it promises.
    Stream* GetStream() override;

private:
    class Rebuild;
    std::unique_ptr<Rebuild> rebuild_;
};

// Builds the group of entries that delta rebuilds from bases (entries of the archive
// being patched, outliving the group) to the given sizes. Raises MixFormatError naming
// patchPath when delta is not a delta of those bases to those sizes.
std::shared_ptr<DeltaGroup> MakeDeltaGroup(std::vector<MixArchiveEntry*> bases,
                                           std::vector<std::uint32_t> sizes, MixArchiveEntry& delta,
                                           std::string patchPath);

// The entry's whole data, for making a delta of it.
std::string ReadEntryBytes(MixArchiveEntry& entry);
