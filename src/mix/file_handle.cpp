#include "mix/file_handle.h"

#include <cerrno>
#include <cstring>

#include "mix/mix_error.h"
#include "platform/move_file.h"

bool SeekTo(std::FILE* file, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool SizeOfOpenFile(std::FILE* file, std::uint64_t& size) {
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0) return false;
    const __int64 end = _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0) return false;
    const off_t end = ftello(file);
#endif
    if (end < 0) return false;
    size = static_cast<std::uint64_t>(end);
    return true;
}

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
    std::remove(temporary.c_str());
    throw MixIoError(destination, "cannot replace with " + temporary + ": " + reason);
}
