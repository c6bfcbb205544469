#include "delta/delta_format.h"

#include <cstring>

#include "delta/little_endian.h"

bool LooksLikeDelta(const void* bytes, std::size_t size) {
    return size >= sizeof kDeltaMagic && std::memcmp(bytes, kDeltaMagic, sizeof kDeltaMagic) == 0;
}

std::string EncodeDeltaHeader(const DeltaHeader& header) {
    std::string out(kDeltaMagic, sizeof kDeltaMagic);
    AppendLE32(out, kDeltaFormatVersion);
    AppendLE64(out, header.baseSize);
    AppendLE64(out, header.targetSize);
    out.append(reinterpret_cast<const char*>(header.targetSha256.data()), 32);
    AppendLE32(out, header.blockSize);
    return out;
}

DeltaHeader DecodeDeltaHeader(const std::uint8_t (&bytes)[kDeltaHeaderSize]) {
    if (!LooksLikeDelta(bytes, sizeof bytes)) throw DeltaError("it is not a delta");
    const std::uint32_t version = LE32At(bytes + 4);
    if (version != kDeltaFormatVersion) {
        throw DeltaError("it is a delta of format version " + std::to_string(version) +
                         ", which this program does not know");
    }
    DeltaHeader header;
    header.baseSize = LE64At(bytes + 8);
    header.targetSize = LE64At(bytes + 16);
    std::memcpy(header.targetSha256.data(), bytes + 24, 32);
    header.blockSize = LE32At(bytes + 56);
    if (header.blockSize == 0 || header.blockSize > kMaxDeltaBlock) {
        throw DeltaError("its block size " + std::to_string(header.blockSize) +
                         " is outside 1 to " + std::to_string(kMaxDeltaBlock));
    }
    return header;
}
