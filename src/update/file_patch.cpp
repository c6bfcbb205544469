#include "update/file_patch.h"

#include <cctype>
#include <cstdint>

#include "delta/delta_file.h"
#include "hash/sha256.h"
#include "mix/mix_patcher.h"
#include "platform/file_system.h"
#include "platform/status_sink.h"

namespace {

bool SameHex(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::size_t end = path.find_last_of("/\\");
    return end == std::string::npos ? "." : path.substr(0, end);
}

}  // namespace

void PatchGameFile(const std::string& source, const std::string& output,
                   const std::string& patchPath, const std::string& checksum) {
    if (!IsDeltaFile(patchPath)) {
        PatchMixFile(source, output, patchPath);
        return;
    }
    Status().SetStatusText("Appyling Patch File " + patchPath);
    ApplyDeltaFile(source, patchPath, output, [&](const DeltaHeader& header) {
        const std::string promised = ToUpperHex(header.targetSha256);
        if (checksum.size() == promised.size() && !SameHex(checksum, promised))
            throw DeltaError("it rebuilds another file than the manifest lists");
        const std::optional<std::uint64_t> free = FreeDiskSpace(FolderOf(output));
        if (free && header.targetSize > *free) {
            throw DeltaError("it rebuilds " + std::to_string(header.targetSize) +
                             " bytes, more than the disk has room for");
        }
    });
}
