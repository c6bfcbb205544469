#include "mix/archive_output.h"

#include <algorithm>
#include <cstring>

#include "mix/mix_error.h"
#include "platform/file_io.h"

ArchiveOutput::ArchiveOutput(std::FILE* out, const std::string& name)
    : out_(out), name_(name), buffer_(std::make_unique<char[]>(kBuffer)) {
    // The system copies only to an output written at its end (a new file, as
    // WriteMixFileBeside makes), where a byte skipped over reads as zero.
    std::uint64_t end = 0;
    if (std::fflush(out_) != 0 || !PositionInFile(out_, at_) || !SizeOfOpenFile(out_, end)) {
        return;
    }
    systemCopies_ = end == at_;
    if (!systemCopies_ && !SeekTo(out_, at_)) Fail();
}

void ArchiveOutput::Bytes(const void* data, std::size_t count) {
    const char* bytes = static_cast<const char*>(data);
    while (count > 0) {
        if (used_ == kBuffer) Flush();
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
    // Right behind a system copy the file ends where it did, so the next write leaves
    // zeros in between without this writing them.
    if (behind_ && used_ == 0) {
        at_ += count;
        return;
    }
    while (count > 0) {
        if (used_ == kBuffer) Flush();
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
        copied = CopyBySystem(*fromFile);
        if (copied == entry.size) return copied;
    }
    for (;;) {
        if (used_ == kBuffer) Flush();
        const std::int32_t n =
            stream->Read(buffer_.get() + used_, static_cast<std::uint32_t>(kBuffer - used_));
        if (n <= 0) return copied;
        used_ += static_cast<std::size_t>(n);
        copied += static_cast<std::uint64_t>(n);
    }
}

std::uint64_t ArchiveOutput::CopyBySystem(MixArchiveEntryFile& entry) {
    Flush();
    if (!behind_ && std::fflush(out_) != 0) Fail();
    const std::uint64_t copied =
        copier_.Copy(entry.stream.file->file(), entry.stream.start, out_, at_, entry.size);
    at_ += copied;
    behind_ = behind_ || copied > 0;
    if (copied < entry.size) {
        // Whatever stopped the system, the copy through the buffer finishes the entry
        // or meets the error again; a system that could not copy here is not asked again.
        systemCopies_ = false;
        entry.stream.position = static_cast<std::uint32_t>(copied);
    }
    return copied;
}

void ArchiveOutput::Flush() {
    if (used_ == 0) return;
    if (behind_) {
        if (!SeekTo(out_, at_)) Fail();
        behind_ = false;
    }
    if (std::fwrite(buffer_.get(), 1, used_, out_) != used_) Fail();
    at_ += used_;
    used_ = 0;
}

void ArchiveOutput::Fail() const { throw MixIoError(name_, "write failed: " + LastErrorText()); }
