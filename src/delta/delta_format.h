// The delta format: a file rebuilt from its previous self, block by block, each block a
// zstd frame whose reference is a few windows of the previous file laid end to end.
// Applying holds one reference, one frame and one block at a time, so its memory has a
// bound whatever the file's size.
//
// Numbers are unsigned LEB128 (7 bits a byte, low first), the hash as its 32 bytes:
//   header   "KDLT", format version (1), base size, target size, target SHA-256,
//            block size
//   blocks   one per block size of the target (the last may be shorter), each: the
//            number of windows, each window's offset and length in the base, the
//            frame's length, then the frame: one zstd frame decoding to the block with
//            the windows' bytes, in order, as its reference prefix
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

inline constexpr char kDeltaMagic[4] = {'K', 'D', 'L', 'T'};
inline constexpr std::uint64_t kDeltaFormatVersion = 1;

// What a reader accepts, and so what applying may hold: a reference, a block and its
// frame (about a block again) come to under 24 MiB.
inline constexpr std::uint32_t kMaxDeltaBlock = 4u << 20;
inline constexpr std::uint32_t kMaxDeltaWindow = 16u << 20;
inline constexpr std::uint32_t kMaxDeltaWindows = 64;

struct DeltaHeader {
    std::uint64_t baseSize = 0;
    std::uint64_t targetSize = 0;
    std::array<std::uint8_t, 32> targetSha256{};
    std::uint32_t blockSize = 0;

    std::uint64_t BlockCount() const {
        return blockSize == 0 ? 0 : (targetSize + blockSize - 1) / blockSize;
    }
};

// A window of the base that a block's frame refers to.
struct DeltaWindow {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
};

// A delta that cannot be applied: malformed, made for another base, or rebuilding
// bytes other than those it promises.
class DeltaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether bytes (at least 4 of them) begin as a delta does.
bool LooksLikeDelta(const void* bytes, std::size_t size);

void AppendVarint(std::string& out, std::uint64_t value);
std::string EncodeDeltaHeader(const DeltaHeader& header);
// A block's header, before its frame.
std::string EncodeBlockHeader(const std::vector<DeltaWindow>& windows, std::size_t frameLength);
