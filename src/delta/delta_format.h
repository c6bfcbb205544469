// The delta format: a file rebuilt from its previous self, block by block, each block a
// zstd frame whose reference is one window of the previous file. Applying holds one
// window, one frame and one block at a time, so its memory has a bound whatever the
// file's size.
//
// Little-endian throughout:
//   header   "KDLT", u32 format version (1), u64 base size, u64 target size,
//            32 bytes target SHA-256, u32 block size
//   blocks   one per block size of the target (the last may be shorter), each
//            u64 window offset, u32 window length, u32 frame length, then the frame:
//            one zstd frame, its content size recorded, decoding to the block with the
//            base's bytes [offset, offset + length) as its reference prefix
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

inline constexpr char kDeltaMagic[4] = {'K', 'D', 'L', 'T'};
inline constexpr std::uint32_t kDeltaFormatVersion = 1;
inline constexpr std::size_t kDeltaHeaderSize = 60;
inline constexpr std::size_t kDeltaBlockHeaderSize = 16;

// What a reader accepts, and so what applying may hold: a window, a block and its frame
// (about a block again) come to under 24 MiB.
inline constexpr std::uint32_t kMaxDeltaBlock = 4u << 20;
inline constexpr std::uint32_t kMaxDeltaWindow = 16u << 20;

struct DeltaHeader {
    std::uint64_t baseSize = 0;
    std::uint64_t targetSize = 0;
    std::array<std::uint8_t, 32> targetSha256{};
    std::uint32_t blockSize = 0;

    std::uint64_t BlockCount() const {
        return blockSize == 0 ? 0 : (targetSize + blockSize - 1) / blockSize;
    }
};

// A delta that cannot be applied: malformed, made for another base, or rebuilding
// bytes other than those it promises.
class DeltaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether bytes (at least 4 of them) begin as a delta does.
bool LooksLikeDelta(const void* bytes, std::size_t size);

std::string EncodeDeltaHeader(const DeltaHeader& header);
// Raises DeltaError for a header this reader does not take: another magic, a format
// version it does not know, a block size beyond its bounds.
DeltaHeader DecodeDeltaHeader(const std::uint8_t (&bytes)[kDeltaHeaderSize]);
