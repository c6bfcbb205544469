// Byte sources behind archive entries.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "mix/file_handle.h"

class Stream {
public:
    static constexpr std::uint32_t kCopyChunk = 81920;

    // At most count bytes into buffer; 0 once the stream is exhausted.
    virtual std::int32_t Read(char* buffer, std::uint32_t count) = 0;

    // Copies what is left to out in kCopyChunk pieces and returns the number of bytes
    // that reached out; it stops early at the first write that falls short, so the
    // caller compares the result with what it expected.
    std::uint64_t CopyTo(std::FILE* out);

protected:
    // Streams are members of their owners and never deleted through this type.
    ~Stream() = default;
};

// A window of an archive file. The handle is the archive's, shared with the other
// entries of the same file and outliving them; every read names its own offset, so a
// window read after another one still reads its own bytes.
class FileStream final : public Stream {
public:
    FileStream(ArchiveHandle* file, std::uint32_t start, std::uint32_t length)
        : length(length), start(start), file(file) {}

    std::int32_t Read(char* buffer, std::uint32_t count) override;

    // Back to the window's first byte.
    void Rewind() { position = 0; }

    std::uint32_t length;
    std::uint32_t start;
    std::uint32_t position = 0;
    ArchiveHandle* file;
};

// Bytes held in memory, for entries that come from no archive (a freshly made
// patch descriptor).
class MemoryStream final : public Stream {
public:
    explicit MemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}

    std::int32_t Read(char* buffer, std::uint32_t count) override;
    void Rewind() { position_ = 0; }
    std::uint32_t size() const { return static_cast<std::uint32_t>(bytes_.size()); }

private:
    std::string bytes_;
    std::size_t position_ = 0;
};
