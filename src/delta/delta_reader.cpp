#include "delta/delta_reader.h"

#include <zstd.h>

#include <algorithm>
#include <cstring>

#include "hash/sha256.h"

namespace {

void ReadExactly(DeltaInput& input, void* buffer, std::size_t count, const std::string& what) {
    if (input.Read(buffer, count) != count) throw DeltaError("it ends inside " + what);
}

std::uint64_t ReadVarint(DeltaInput& input, const std::string& what) {
    std::uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        std::uint8_t byte = 0;
        ReadExactly(input, &byte, 1, what);
        value |= std::uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) {
            // The tenth byte holds one bit of the value at most.
            if (shift == 63 && byte > 1) break;
            return value;
        }
    }
    throw DeltaError(what + " holds a number beyond 64 bits");
}

std::string BlockLabel(std::uint64_t block) { return "block " + std::to_string(block); }

// Room for at least size bytes, grown only when needed and never cleared: an entry of a
// few bytes costs no block's worth of zeros.
class Buffer {
public:
    std::uint8_t* Room(std::size_t size) {
        if (size > capacity_) {
            bytes_.reset();  // first, so that the old and the new are never held at once
            capacity_ = 0;
            bytes_.reset(new std::uint8_t[size]);
            capacity_ = size;
        }
        return bytes_.get();
    }
    std::uint8_t* data() const { return bytes_.get(); }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t capacity_ = 0;
};

}  // namespace

// What applying holds while the target is being read; let go at its end.
struct DeltaReader::Decoder {
    Decoder() : context(ZSTD_createDCtx()) {
        if (context == nullptr) throw std::bad_alloc();
    }
    ~Decoder() { ZSTD_freeDCtx(context); }

    ZSTD_DCtx* context;
    Buffer window;
    Buffer frame;
    Buffer block;
    Sha256 hash;
};

DeltaHeader ReadDeltaHeader(DeltaInput& input) {
    char magic[sizeof kDeltaMagic];
    if (input.Read(magic, sizeof magic) != sizeof magic || !LooksLikeDelta(magic, sizeof magic))
        throw DeltaError("it is not a delta");
    const std::uint64_t version = ReadVarint(input, "its header");
    if (version != kDeltaFormatVersion) {
        throw DeltaError("it is a delta of format version " + std::to_string(version) +
                         ", which this program does not know");
    }
    DeltaHeader header;
    header.baseSize = ReadVarint(input, "its header");
    header.targetSize = ReadVarint(input, "its header");
    ReadExactly(input, header.targetSha256.data(), header.targetSha256.size(), "its header");
    const std::uint64_t blockSize = ReadVarint(input, "its header");
    if (blockSize == 0 || blockSize > kMaxDeltaBlock) {
        throw DeltaError("its block size " + std::to_string(blockSize) + " is outside 1 to " +
                         std::to_string(kMaxDeltaBlock));
    }
    header.blockSize = static_cast<std::uint32_t>(blockSize);
    return header;
}

DeltaReader::DeltaReader(DeltaBase& base, DeltaInput& delta, std::uint64_t maxTarget)
    : base_(base), delta_(delta), header_(ReadDeltaHeader(delta)) {
    if (header_.baseSize != base.size()) {
        throw DeltaError("it was made for a file of " + std::to_string(header_.baseSize) +
                         " bytes, not one of " + std::to_string(base.size()));
    }
    if (header_.targetSize > maxTarget) {
        throw DeltaError("it claims " + std::to_string(header_.targetSize) +
                         " bytes, more than the " + std::to_string(maxTarget) + " allowed here");
    }
    decoder_ = std::make_unique<Decoder>();
    // No frame needs more: a window and a block together stay under this.
    ZSTD_DCtx_setParameter(decoder_->context, ZSTD_d_windowLogMax, 25);
}

DeltaReader::~DeltaReader() = default;

void DeltaReader::DecodeNextBlock() {
    Decoder& d = *decoder_;
    const std::uint64_t index = nextBlock_++;
    const std::uint64_t start = index * header_.blockSize;
    const auto expected = static_cast<std::size_t>(
        std::min<std::uint64_t>(header_.blockSize, header_.targetSize - start));

    const std::string label = BlockLabel(index);
    const std::uint64_t count = ReadVarint(delta_, label);
    if (count > kMaxDeltaWindows) {
        throw DeltaError(label + " refers to " + std::to_string(count) +
                         " windows, more than the " + std::to_string(kMaxDeltaWindows) +
                         " allowed");
    }
    DeltaWindow windows[kMaxDeltaWindows];
    std::uint64_t length = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t offset = ReadVarint(delta_, label);
        const std::uint64_t size = ReadVarint(delta_, label);
        if (offset > header_.baseSize || size > header_.baseSize - offset)
            throw DeltaError(label + " refers past the end of its base");
        length += size;
        if (length > kMaxDeltaWindow) {
            throw DeltaError(label + " refers to more than the " + std::to_string(kMaxDeltaWindow) +
                             " bytes of base allowed");
        }
        windows[i] = {offset, static_cast<std::uint32_t>(size)};
    }
    const std::uint64_t frameLength = ReadVarint(delta_, label);
    if (frameLength == 0 || frameLength > ZSTD_compressBound(expected)) {
        throw DeltaError(label + " has a frame of " + std::to_string(frameLength) +
                         " bytes, which no block of its size needs");
    }

    std::uint8_t* const window = d.window.Room(length);
    std::uint8_t* const frame = d.frame.Room(frameLength);
    std::uint8_t* const block = d.block.Room(expected);
    for (std::uint64_t i = 0, at = 0; i < count; at += windows[i++].length) {
        if (windows[i].length != 0 &&
            !base_.ReadAt(windows[i].offset, window + at, windows[i].length))
            throw DeltaError("its base could not be read at " + std::to_string(windows[i].offset));
    }
    ReadExactly(delta_, frame, frameLength, label);
    // One frame, exactly the block: anything else is not what this format writes.
    if (ZSTD_findFrameCompressedSize(frame, frameLength) != frameLength ||
        ZSTD_getFrameContentSize(frame, frameLength) != expected) {
        throw DeltaError(label + " is not one frame of " + std::to_string(expected) + " bytes");
    }
    if (length != 0) {
        const std::size_t set = ZSTD_DCtx_refPrefix(d.context, window, length);
        if (ZSTD_isError(set)) throw DeltaError(ZSTD_getErrorName(set));
    }
    const std::size_t got = ZSTD_decompressDCtx(d.context, block, expected, frame, frameLength);
    if (ZSTD_isError(got) || got != expected) {
        throw DeltaError(label + " does not decode" +
                         (ZSTD_isError(got) ? std::string(": ") + ZSTD_getErrorName(got) : ""));
    }
    d.hash.Update(block, expected);
    served_ = 0;
    filled_ = expected;

    if (nextBlock_ == header_.BlockCount()) ProveEnd();
}

void DeltaReader::ProveEnd() {
    std::uint8_t extra;
    if (delta_.Read(&extra, 1) != 0) throw DeltaError("bytes follow its last block");
    const Sha256Digest digest = decoder_->hash.Final();
    if (std::memcmp(digest.data(), header_.targetSha256.data(), digest.size()) != 0) {
        throw DeltaError("it rebuilds a file other than the one it was made for");
    }
}

std::size_t DeltaReader::Read(void* buffer, std::size_t count) {
    if (served_ == filled_) {
        if (decoder_ == nullptr) return 0;
        if (nextBlock_ == header_.BlockCount()) {
            // Any other target proved itself with its last block.
            if (header_.targetSize == 0) ProveEnd();
            decoder_.reset();
            return 0;
        }
        DecodeNextBlock();
    }
    const std::size_t n = std::min(count, filled_ - served_);
    std::memcpy(buffer, decoder_->block.data() + served_, n);
    served_ += n;
    return n;
}
