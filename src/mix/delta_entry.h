// Entries rebuilt from their previous selves: a patch's delta applied to the entry it
// was made from, streamed to the writer one block at a time.
#pragma once

#include <memory>
#include <string>

#include "mix/mix_file.h"

class MixArchiveEntryDelta final : public MixArchiveEntry {
public:
    // Takes delta's name and id, and the size its header gives. Raises MixFormatError
    // naming patchPath when delta is not a delta made for base, or rebuilds more than an
    // entry can hold. base and delta outlive the entry.
    MixArchiveEntryDelta(MixArchiveEntry& base, MixArchiveEntry& delta, std::string patchPath);
    ~MixArchiveEntryDelta() override;

    // Reading raises MixFormatError where the delta does not rebuild the entry it
    // promises, before the last of its bytes is handed out.
    Stream* GetStream() override;

private:
    class Rebuild;
    std::unique_ptr<Rebuild> rebuild_;
};

// The entry's whole data, for making a delta of it.
std::string ReadEntryBytes(MixArchiveEntry& entry);
