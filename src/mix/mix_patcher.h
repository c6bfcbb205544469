// Applying a patch archive to a MIX archive.
#pragma once

#include <string>

#include "mix/mix_file.h"

class MixPatcher {
public:
    explicit MixPatcher(MixFile* target) : target_(target) {}

    // Edits the target's entry list as the patch's descriptor says; without a
    // descriptor the list stays as it is. A descriptor that is not a valid record
    // raises nlohmann::json's exception and leaves the list untouched.
    void ApplyPatch(MixFile* patch);

private:
    MixFile* target_;
};

// Writes sourcePath patched with patchPath to outputPath. The output appears only
// once it is complete; on any error the three paths are as they were, every handle
// on them is closed and the exception reaches the caller.
void PatchMixFile(const std::string& sourcePath, const std::string& outputPath,
                  const std::string& patchPath);
void PatchMixFile(const std::string& sourcePath, const std::string& outputPath,
                  const std::string& patchPath, const WriteProgress& progress);
