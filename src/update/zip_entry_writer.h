// One zip entry's data into a file, on any of the threads that share one open archive.
#pragma once

#include <libdeflate.h>
#include <zip.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/worker_threads.h"

// What the central directory says of an entry's data.
struct EntryData {
    zip_uint64_t index;
    zip_uint64_t size;
    zip_uint64_t compressedSize;
    std::uint32_t crc;
    // Deflated, not encrypted, not empty: we inflate the raw data ourselves. Anything
    // else is decoded (and its CRC checked) by libzip.
    bool rawDeflate;
};
EntryData DescribeEntry(const zip_stat_t& stat, zip_uint64_t index);

// libzip is not made for several threads: each call into it is made under the lock,
// and the long part, inflating and writing, runs outside it.
class SharedArchive {
public:
    explicit SharedArchive(zip_t* archive) : archive_(archive) {}
    zip_file_t* Open(zip_uint64_t index, zip_flags_t flags);
    zip_int64_t Read(zip_file_t* file, void* buffer, std::size_t size);
    void Close(zip_file_t* file);

private:
    zip_t* archive_;
    Mutex mutex_;
};

// Returned by EntryWriter::Write for an entry given up because another one failed.
inline constexpr int kExtractAbandoned = 1;

// A thread's buffers and decompressors. Entries whose data fits wholeLimit bytes, packed
// and unpacked, are inflated in one call (libdeflate); larger ones are streamed (zlib)
// through buffers of that size at most. A write stops early once queue is stopped.
class EntryWriter {
public:
    EntryWriter(SharedArchive& archive, std::size_t wholeLimit, const WorkQueue& queue);
    ~EntryWriter();
    EntryWriter(const EntryWriter&) = delete;
    EntryWriter& operator=(const EntryWriter&) = delete;

    // Copies the entry's data to destination, refusing data past its declared size
    // (kExtractTooLarge) and data that fails its CRC check (kExtractWriteFailed).
    int Write(const EntryData& entry, const std::string& destination);

private:
    class Output;
    class Reader;
    int CopyDecoded(Reader& reader, Output& out);
    int InflateWhole(const EntryData& entry, Reader& reader, Output& out);
    int InflateStreaming(Reader& reader, Output& out);

    SharedArchive& archive_;
    const std::size_t wholeLimit_;
    const WorkQueue& queue_;
    // Taken whole at the start: growing them entry by entry would leave the heap
    // fragmented past its live size.
    std::unique_ptr<unsigned char[]> packed_;
    std::unique_ptr<unsigned char[]> unpacked_;
    libdeflate_decompressor* whole_ = nullptr;
    z_stream stream_{};
    bool streamReady_ = false;
};
