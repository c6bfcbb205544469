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

std::uint64_t ArchiveOutput::Entry(MixArchiveEntry& entry) {
    Stream* stream = entry.GetStream();
    std::uint64_t copied = 0;
    auto* fromFile = dynamic_cast<MixArchiveEntryFile*>(&entry);
    if (systemCopies_ && fromFile != nullptr && entry.size >= kSystemCopyFrom) {
        if (queue_.queued() == 0) {
            FlushBuffer();
            if (!behind_ && std::fflush(out_) != 0) Fail();
            queue_.MoveTo(at_);
        }
        copied = queue_.Queue(fromFile->stream.file->file(), fromFile->stream.start, entry.size);
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

void ArchiveOutput::Flush() {
    WriteOutQueue();
    FlushBuffer();
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
