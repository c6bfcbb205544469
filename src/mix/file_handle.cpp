#include "mix/file_handle.h"

#include <cerrno>
#include <cstring>

#include "mix/mix_error.h"
#include "platform/file_io.h"
#include "platform/file_system.h"

std::string LastErrorText() { return DescribeErrno(errno); }

ArchiveHandle::ArchiveHandle(UniqueFile file, std::string path)
    : file_(std::move(file)), path_(std::move(path)) {}

bool ArchiveHandle::MoveTo(std::uint64_t offset) {
    if (position_ == offset) return true;
    if (!SeekTo(file_.get(), offset)) {
        position_ = kUnknown;
        return false;
    }
    position_ = offset;
    return true;
}

std::size_t ArchiveHandle::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
    if (count == 0 || !MoveTo(offset)) return 0;
    const std::size_t n = std::fread(buffer, 1, count, file_.get());
    if (n < count) {
        // After a short read the handle's position is whatever the C library left.
        std::clearerr(file_.get());
        position_ = kUnknown;
    } else {
        position_ += n;
    }
    return n;
}

void ReplaceFileWith(const std::string& temporary, const std::string& destination) {
    if (MoveFileOver(temporary, destination)) return;
    const std::string reason = LastErrorText();
    RemoveFileIfPresent(temporary);
    throw MixIoError(destination, "cannot replace with " + temporary + ": " + reason);
}
