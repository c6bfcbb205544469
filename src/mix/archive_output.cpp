#include "mix/archive_output.h"

#include <algorithm>
#include <cstring>

#include "mix/mix_error.h"

ArchiveOutput::ArchiveOutput(std::FILE* out, const std::string& name)
    : out_(out), name_(name), queue_(out), buffer_(std::make_unique<char[]>(kBuffer)) {
    // The system writes at given offsets, so it must know where the output stands.
    systemCopies_ = queue_.usable() && std::fflush(out_) == 0 && PositionInFile(out_, at_);
}

void ArchiveOutput::Bytes(const void* data, std::size_t count) {
    WriteOutQueue();
    const char* bytes = static_cast<const char*>(data);
    while (count > 0) {
        if (used_ == kBuffer) FlushBuffer();
        const std::size_t piece = std::min(count, kBuffer - used_);
        std::memcpy(buffer_.get() + used_, bytes, piece);
        used_ += piece;
        bytes += piece;
        count -= piece;
    }
}

void ArchiveOutput::LE32(std::uint32_t value) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    Bytes(bytes, 4);
}

void ArchiveOutput::Zeros(std::size_t count) {
    if (queue_.queued() > 0 && queue_.QueueZeros(count)) return;
    WriteOutQueue();
    while (count > 0) {
        if (used_ == kBuffer) FlushBuffer();
        const std::size_t piece = std::min(count, kBuffer - used_);
        std::memset(buffer_.get() + used_, 0, piece);
        used_ += piece;
        count -= piece;
    }
}

namespace {

const FileStream& StreamOf(const MixArchiveEntry* entryOfFile) {
    return static_cast<const MixArchiveEntryFile*>(entryOfFile)->stream;
}

// The run's fill, from the start of its span on, piece by piece in order.
class RunFill {
public:
    RunFill(MixArchiveEntry* const* entries, std::size_t count)
        : entries_(entries), count_(count), fillAt_(entries[0]->size) {}

    // Zeros the fill within the count bytes of piece, which start at offset at of the span.
    void Clear(char* piece, std::uint64_t at, std::size_t count) {
        const std::uint64_t end = at + count;
        for (; next_ + 1 < count_ && fillAt_ < end; ++next_) {
            const std::uint64_t fillEnd = fillAt_ + FillAfter(entries_[next_]->size);
            const std::uint64_t from = std::max(fillAt_, at);
            const std::uint64_t to = std::min(fillEnd, end);
            if (from < to) std::memset(piece + (from - at), 0, to - from);
            if (fillEnd > end) return;
            fillAt_ = fillEnd + entries_[next_ + 1]->size;
        }
    }

    // Whether the file holds zeros wherever the run has fill, asking only for those bytes.
    static bool Zero(MixArchiveEntry* const* entries, std::size_t count) {
        for (std::size_t i = 0; i + 1 < count; ++i) {
            const FileStream& stream = StreamOf(entries[i]);
            const std::uint32_t fill = FillAfter(stream.length);
            if (fill == 0) continue;
            char bytes[8] = {};
            if (stream.file->ReadAt(std::uint64_t{stream.start} + stream.length, bytes, fill) !=
                    fill ||
                std::memcmp(bytes, "\0\0\0\0\0\0\0", fill) != 0) {
                return false;
            }
        }
        return true;
    }

private:
    MixArchiveEntry* const* entries_;
    std::size_t count_;
    std::size_t next_ = 0;  // the entry whose fill comes next
    std::uint64_t fillAt_;  // where that fill starts in the span
};

}  // namespace

std::uint64_t ArchiveOutput::Entry(MixArchiveEntry& entry) {
    Stream* stream = entry.GetStream();
    std::uint64_t copied = 0;
    auto* fromFile = dynamic_cast<MixArchiveEntryFile*>(&entry);
    if (systemCopies_ && fromFile != nullptr && entry.size >= kSystemCopyFrom) {
        copied = QueueFrom(*fromFile->stream.file, fromFile->stream.start, entry.size);
        if (copied == entry.size) return copied;
        // Whatever stopped the system, the buffer finishes the entry or meets the error
        // again; a system that could not copy here is not asked again.
        systemCopies_ = false;
        fromFile->stream.position = static_cast<std::uint32_t>(copied);
    }
    WriteOutQueue();
    for (;;) {
        if (used_ == kBuffer) FlushBuffer();
        const std::int32_t n =
            stream->Read(buffer_.get() + used_, static_cast<std::uint32_t>(kBuffer - used_));
        if (n <= 0) return copied;
        used_ += static_cast<std::size_t>(n);
        copied += static_cast<std::uint64_t>(n);
    }
}

std::uint64_t ArchiveOutput::Run(MixArchiveEntry* const* entries, std::size_t count) {
    const FileStream& first = StreamOf(entries[0]);
    const FileStream& last = StreamOf(entries[count - 1]);
    ArchiveHandle& file = *first.file;
    const std::uint64_t length = std::uint64_t{last.start} + last.length - first.start;
    std::uint64_t done = 0;
    // Checking the fill costs a read of its own per entry, about what copying 8 KiB
    // through the buffer does: runs of small entries are copied here instead.
    if (systemCopies_ && length >= kSystemCopyFrom && length / count >= kSystemCopyFrom / 2 &&
        RunFill::Zero(entries, count)) {
        done = QueueFrom(file, first.start, length);
        if (done == length) return done;
        systemCopies_ = false;
    }
    WriteOutQueue();
    RunFill fill(entries, count);
    while (done < length) {
        if (used_ == kBuffer) FlushBuffer();
        const auto piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(length - done, kBuffer - used_));
        const std::size_t n = file.ReadAt(first.start + done, buffer_.get() + used_, piece);
        fill.Clear(buffer_.get() + used_, done, n);
        used_ += n;
        done += n;
        if (n < piece) break;
    }
    return done;
}

void ArchiveOutput::Flush() {
    WriteOutQueue();
    FlushBuffer();
}

std::uint64_t ArchiveOutput::QueueFrom(ArchiveHandle& file, std::uint64_t from,
                                       std::uint64_t count) {
    if (queue_.queued() == 0) {
        FlushBuffer();
        if (!behind_ && std::fflush(out_) != 0) Fail();
        queue_.MoveTo(at_);
    }
    return queue_.Queue(file.file(), from, count);
}

void ArchiveOutput::Fail() const { throw MixIoError(name_, "write failed: " + LastErrorText()); }

void ArchiveOutput::FlushBuffer() {
    if (used_ == 0) return;
    if (behind_) {
        if (!SeekTo(out_, at_)) Fail();
        behind_ = false;
    }
    if (std::fwrite(buffer_.get(), 1, used_, out_) != used_) Fail();
    at_ += used_;
    used_ = 0;
}

void ArchiveOutput::WriteOutQueue() {
    if (queue_.queued() == 0) return;
    const bool written = queue_.WriteOut();
    at_ = queue_.position();
    behind_ = true;
    if (written) return;
    // What the system could not write comes back through the buffer, which writes it or
    // meets the error again.
    systemCopies_ = false;
    while ((used_ = queue_.TakeBack(buffer_.get(), kBuffer)) > 0) FlushBuffer();
    if (queue_.queued() > 0) Fail();
}
