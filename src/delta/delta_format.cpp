#include "delta/delta_format.h"

#include <cstring>

bool LooksLikeDelta(const void* bytes, std::size_t size) {
    return size >= sizeof kDeltaMagic && std::memcmp(bytes, kDeltaMagic, sizeof kDeltaMagic) == 0;
}

void AppendVarint(std::string& out, std::uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

std::string EncodeDeltaHeader(const DeltaHeader& header) {
    std::string out(kDeltaMagic, sizeof kDeltaMagic);
    AppendVarint(out, kDeltaFormatVersion);
    AppendVarint(out, header.baseSize);
    AppendVarint(out, header.targetSize);
    out.append(reinterpret_cast<const char*>(header.targetSha256.data()), 32);
    AppendVarint(out, header.blockSize);
    return out;
}

std::string EncodeBlockHeader(const std::vector<DeltaWindow>& windows, std::size_t frameLength) {
    std::string out;
    AppendVarint(out, windows.size());
    for (const DeltaWindow& window : windows) {
        AppendVarint(out, window.offset);
        AppendVarint(out, window.length);
    }
    AppendVarint(out, frameLength);
    return out;
}
