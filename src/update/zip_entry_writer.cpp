#include "update/zip_entry_writer.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "platform/file_io.h"
#include "update/zip_extract.h"

namespace {

constexpr std::size_t kStreamChunk = 512 * 1024;
constexpr zip_uint64_t kDescribed = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC |
                                    ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;

}  // namespace

EntryData DescribeEntry(const zip_stat_t& stat, zip_uint64_t index) {
    EntryData data{index, stat.size, 0, 0, false};
    if ((stat.valid & kDescribed) != kDescribed) return data;
    data.compressedSize = stat.comp_size;
    data.crc = stat.crc;
    // libzip hands out no data for an entry packed to nothing, whatever its method.
    data.rawDeflate = stat.comp_method == ZIP_CM_DEFLATE && stat.encryption_method == ZIP_EM_NONE &&
                      stat.comp_size > 0;
    return data;
}

zip_file_t* SharedArchive::Open(zip_uint64_t index, zip_flags_t flags) {
    MutexLock lock(mutex_);
    return zip_fopen_index(archive_, index, flags);
}

zip_int64_t SharedArchive::Read(zip_file_t* file, void* buffer, std::size_t size) {
    MutexLock lock(mutex_);
    return zip_fread(file, buffer, size);
}

void SharedArchive::Close(zip_file_t* file) {
    MutexLock lock(mutex_);
    zip_fclose(file);
}

class EntryWriter::Reader {
public:
    Reader(SharedArchive& archive, const EntryData& entry)
        : archive_(archive),
          file_(archive.Open(entry.index, entry.rawDeflate ? ZIP_FL_COMPRESSED : 0)) {}
    ~Reader() {
        if (file_ != nullptr) archive_.Close(file_);
    }
    bool ok() const { return file_ != nullptr; }
    // Fills buffer unless the data ends first: the count read, or -1 for a fault.
    zip_int64_t Read(unsigned char* buffer, std::size_t size) {
        std::size_t filled = 0;
        while (filled < size) {
            const zip_int64_t got = archive_.Read(file_, buffer + filled, size - filled);
            if (got < 0) return -1;
            if (got == 0) break;
            filled += static_cast<std::size_t>(got);
        }
        return static_cast<zip_int64_t>(filled);
    }

private:
    SharedArchive& archive_;
    zip_file_t* file_;
};

// The destination file, taking no more than the declared size; with a CRC to check when
// the data did not come through libzip's own check.
class EntryWriter::Output {
public:
    Output(std::FILE* file, const EntryData& entry, const WorkQueue& queue)
        : file_(file), entry_(entry), queue_(queue) {}
    int Write(const unsigned char* data, std::size_t size) {
        if (size > entry_.size - written_) return kExtractTooLarge;
        if (queue_.Stopped()) return kExtractAbandoned;
        if (entry_.rawDeflate) crc_ = libdeflate_crc32(crc_, data, size);
        if (std::fwrite(data, 1, size, file_) != size) return kExtractWriteFailed;
        written_ += size;
        return kExtractOk;
    }
    int Finish() const {
        const bool whole = written_ == entry_.size && (!entry_.rawDeflate || crc_ == entry_.crc);
        return whole ? kExtractOk : kExtractWriteFailed;
    }

private:
    std::FILE* file_;
    const EntryData& entry_;
    const WorkQueue& queue_;
    zip_uint64_t written_ = 0;
    std::uint32_t crc_ = 0;
};

EntryWriter::EntryWriter(SharedArchive& archive, std::size_t wholeLimit, const WorkQueue& queue)
    : archive_(archive),
      wholeLimit_(std::max(wholeLimit, kStreamChunk)),
      queue_(queue),
      packed_(new unsigned char[wholeLimit_]),
      unpacked_(new unsigned char[wholeLimit_]),
      whole_(libdeflate_alloc_decompressor()) {
    if (whole_ == nullptr) throw std::bad_alloc();
}

EntryWriter::~EntryWriter() {
    libdeflate_free_decompressor(whole_);
    if (streamReady_) inflateEnd(&stream_);
}

int EntryWriter::Write(const EntryData& entry, const std::string& destination) {
    Reader reader(archive_, entry);
    if (!reader.ok()) return kExtractWriteFailed;
    UniqueFile file = OpenFile(destination, "wb");
    if (!file) return kExtractWriteFailed;
    Output out(file.get(), entry, queue_);
    const bool whole = entry.size <= wholeLimit_ && entry.compressedSize <= wholeLimit_;
    const int code = !entry.rawDeflate ? CopyDecoded(reader, out)
                     : whole           ? InflateWhole(entry, reader, out)
                                       : InflateStreaming(reader, out);
    if (code != kExtractOk) return code;
    return std::fclose(file.release()) == 0 ? kExtractOk : kExtractWriteFailed;
}

int EntryWriter::CopyDecoded(Reader& reader, Output& out) {
    for (;;) {
        // libzip checks the entry's CRC when it reaches the end of the data.
        const zip_int64_t got = reader.Read(unpacked_.get(), kStreamChunk);
        if (got < 0) return kExtractWriteFailed;
        if (got == 0) return out.Finish();
        if (const int code = out.Write(unpacked_.get(), static_cast<std::size_t>(got))) return code;
    }
}

int EntryWriter::InflateWhole(const EntryData& entry, Reader& reader, Output& out) {
    const auto packedSize = static_cast<std::size_t>(entry.compressedSize);
    const auto size = static_cast<std::size_t>(entry.size);
    if (reader.Read(packed_.get(), packedSize) != static_cast<zip_int64_t>(packedSize))
        return kExtractWriteFailed;
    std::size_t unpackedSize = 0;
    switch (libdeflate_deflate_decompress(whole_, packed_.get(), packedSize, unpacked_.get(), size,
                                          &unpackedSize)) {
        case LIBDEFLATE_SUCCESS:
            break;
        case LIBDEFLATE_INSUFFICIENT_SPACE:
            return kExtractTooLarge;
        default:
            return kExtractWriteFailed;
    }
    if (const int code = out.Write(unpacked_.get(), unpackedSize)) return code;
    return out.Finish();
}

// Unlike libzip, which takes a stream that stops short for one that ends, the stream must
// reach its end within the entry's data.
int EntryWriter::InflateStreaming(Reader& reader, Output& out) {
    if (!streamReady_) {
        if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) return kExtractWriteFailed;
        streamReady_ = true;
    } else if (inflateReset(&stream_) != Z_OK) {
        return kExtractWriteFailed;
    }
    stream_.next_in = nullptr;  // a reset keeps what the last entry left unread
    stream_.avail_in = 0;
    bool dataEnded = false;
    for (;;) {
        if (stream_.avail_in == 0 && !dataEnded) {
            const zip_int64_t got = reader.Read(packed_.get(), kStreamChunk);
            if (got < 0) return kExtractWriteFailed;
            dataEnded = static_cast<std::size_t>(got) < kStreamChunk;
            stream_.next_in = packed_.get();
            stream_.avail_in = static_cast<uInt>(got);
        }
        stream_.next_out = unpacked_.get();
        stream_.avail_out = static_cast<uInt>(kStreamChunk);
        const int status = inflate(&stream_, Z_NO_FLUSH);
        const bool stuck = status == Z_BUF_ERROR && stream_.avail_in != 0;
        if ((status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) || stuck)
            return kExtractWriteFailed;
        const std::size_t produced = kStreamChunk - stream_.avail_out;
        if (const int code = out.Write(unpacked_.get(), produced)) return code;
        if (status == Z_STREAM_END) return out.Finish();
        if (produced == 0 && stream_.avail_in == 0 && dataEnded) return kExtractWriteFailed;
    }
}
