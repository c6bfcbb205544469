// Where the writer's bytes go. Most are gathered in a buffer small enough to stay in
// the processor's cache, entry data read straight into it, and leave it in writes of
// its whole size. The data of large entries read from archive files, with the fill
// after them, and of long runs of entries that lie in their archive as the writer lays
// them out, is queued for the system to copy from file to file where it can, without
// passing through this process.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "mix/mix_file.h"
#include "platform/file_io.h"

// The writer's layout: each entry's data is followed by zeros up to a multiple of 8.
inline std::uint32_t FillAfter(std::uint32_t size) { return (0u - size) % 8u; }

class ArchiveOutput {
public:
    static constexpr std::size_t kBuffer = 128 << 10;
    // Smaller entries cost the system about what a read of their own does; the buffer
    // also gathers them where an archive lists them in its own order.
    static constexpr std::uint32_t kSystemCopyFrom = 64 << 10;

    // Writes to out from its current position; name is for error messages.
    ArchiveOutput(std::FILE* out, const std::string& name);

    void Bytes(const void* data, std::size_t count);
    void LE32(std::uint32_t value);
    void Zeros(std::size_t count);
    // The entry's data; returns how many bytes it delivered, which falls short of its
    // size only when its source did.
    std::uint64_t Entry(MixArchiveEntry& entry);
    // Entries of one archive file that lie in it back to back, each followed by its
    // fill, as this writer lays them out: copied as one span from the first's data to
    // the last's, which a file written by this writer holds as they are to be written.
    // Fill reads as zeros whatever the file holds there. Returns the span's bytes
    // delivered, which fall short only where the file did.
    // Each entry is a MixArchiveEntryFile.
    std::uint64_t Run(MixArchiveEntry* const* entries, std::size_t count);
    // Hands everything to out; out's own stdio buffer may still hold some of it.
    void Flush();

    [[noreturn]] void Fail() const;

private:
    // At most one of the buffer and the queue holds bytes: each is emptied before the
    // other takes any, so the bytes reach out in order.
    void FlushBuffer();
    void WriteOutQueue();
    // Queues count bytes of file from offset from; returns those queued.
    std::uint64_t QueueFrom(ArchiveHandle& file, std::uint64_t from, std::uint64_t count);

    std::FILE* out_;
    const std::string& name_;
    SystemCopier queue_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    // Where the bytes held (in the buffer or the queue) go.
    std::uint64_t at_ = 0;
    // Set once the system has written past out's stdio position.
    bool behind_ = false;
    // The output's position is known and no system copy has fallen short yet.
    bool systemCopies_ = false;
};
