#include "mix/file_handle.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "mix/mix_error.h"
#include "platform/file_io.h"
#include "platform/file_system.h"

std::string LastErrorText() { return DescribeErrno(errno); }

ArchiveHandle::ArchiveHandle(UniqueFile file, std::string path)
    : file_(std::move(file)), path_(std::move(path)) {}

std::size_t ArchiveHandle::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
    if (count == 0) return 0;
    // Entries written with fill start up to 7 bytes after the previous one ends.
    const bool follows = offset >= lastEnd_ && offset - lastEnd_ < 8;
    lastEnd_ = offset + count;
    if (offset < windowStart_ || offset + count > windowStart_ + windowSize_) {
        if (count >= kDirect || !follows) return ReadFileAt(file_.get(), offset, buffer, count);
        if (!window_) window_ = std::make_unique<char[]>(kWindow);
        windowStart_ = offset;
        windowSize_ = ReadFileAt(file_.get(), offset, window_.get(), kWindow);
        count = std::min(count, windowSize_);
    }
    std::memcpy(buffer, window_.get() + (offset - windowStart_), count);
    return count;
}

void ReplaceFileWith(const std::string& temporary, const std::string& destination) {
    if (MoveFileOver(temporary, destination)) return;
    const std::string reason = LastErrorText();
    RemoveFileIfPresent(temporary);
    throw MixIoError(destination, "cannot replace with " + temporary + ": " + reason);
}
