#include "mix/stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// The result is a signed 32-bit count; no single read may exceed it.
std::uint32_t ClampToResult(std::uint32_t count) {
    return std::min<std::uint32_t>(count, std::numeric_limits<std::int32_t>::max());
}

}  // namespace

std::uint64_t Stream::CopyTo(std::FILE* out) {
    char buffer[kCopyChunk];
    std::uint64_t copied = 0;
    for (;;) {
        const std::int32_t n = Read(buffer, kCopyChunk);
        if (n <= 0) break;
        const std::size_t written = std::fwrite(buffer, 1, static_cast<std::size_t>(n), out);
        copied += written;
        if (written != static_cast<std::size_t>(n)) break;
    }
    return copied;
}

std::int32_t FileStream::Read(char* buffer, std::uint32_t count) {
    count = ClampToResult(std::min(count, length - position));
    const std::size_t n = file->ReadAt(std::uint64_t{start} + position, buffer, count);
    position += static_cast<std::uint32_t>(n);
    return static_cast<std::int32_t>(n);
}

std::int32_t MemoryStream::Read(char* buffer, std::uint32_t count) {
    const std::size_t n = std::min<std::size_t>(ClampToResult(count), bytes_.size() - position_);
    if (n > 0) std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return static_cast<std::int32_t>(n);
}
