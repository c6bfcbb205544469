#include "deflate_chunk.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <stdexcept>

namespace {

constexpr int kRawWindowBits = -15;  // zip entries hold raw deflate data
constexpr int kMemoryLevel = 8;

struct DeflateStream {
    explicit DeflateStream(int level) {
        if (deflateInit2(&stream, level, Z_DEFLATED, kRawWindowBits, kMemoryLevel,
                         Z_DEFAULT_STRATEGY) != Z_OK) {
            throw std::bad_alloc();
        }
    }
    ~DeflateStream() { deflateEnd(&stream); }
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;
    z_stream stream{};
};

void Deflate(int level, const unsigned char* data, std::size_t size, const Bytes& dictionary,
             int flush, Bytes& out) {
    DeflateStream deflater(level);
    z_stream& z = deflater.stream;
    if (!dictionary.empty() &&
        deflateSetDictionary(&z, dictionary.data(), static_cast<uInt>(dictionary.size())) != Z_OK) {
        throw std::logic_error("deflateSetDictionary refused a dictionary");
    }
    // The bound covers a finished stream; a flush adds at most an empty stored block.
    out.resize(deflateBound(&z, static_cast<uLong>(size)) + 16);
    z.next_in = const_cast<unsigned char*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, flush);
    if ((flush == Z_FINISH ? result != Z_STREAM_END : result != Z_OK) || z.avail_in != 0 ||
        z.avail_out == 0) {
        throw std::logic_error("deflate did not take a whole chunk");
    }
    out.resize(out.size() - z.avail_out);
}

}  // namespace

std::vector<std::uint64_t> ProbeOffsets(std::uint64_t size) {
    constexpr std::uint64_t kSpacing = 1 << 20;
    const std::uint64_t count = std::clamp<std::uint64_t>(size / kSpacing, 1, 64);
    std::vector<std::uint64_t> offsets;
    for (std::uint64_t i = 0; i < count; ++i) offsets.push_back(i * (size / count));
    return offsets;
}

void Probe::Add(const unsigned char* sample, std::size_t size) {
    if (size == 0) return;
    Deflate(Z_BEST_SPEED, sample, size, {}, Z_FINISH, out_);
    size_ += size;
    deflated_ += out_.size();
}

void DeflateChunk(const Bytes& chunk, const Bytes& dictionary, bool last, Bytes& out) {
    Deflate(kDeflateLevel, chunk.data(), chunk.size(), dictionary, last ? Z_FINISH : Z_SYNC_FLUSH,
            out);
}
