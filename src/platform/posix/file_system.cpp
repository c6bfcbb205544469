#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/uio.h>

#include "platform/file_in_use.h"
#include "platform/file_io.h"
#include "platform/path.h"

const char kPathSeparator = '/';

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

// No sharing rules here: an open file never stands in the way of a rename or delete.
std::vector<std::string> ProgramsHolding(const std::string&) { return {}; }

EntryKind KindOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return EntryKind::kMissing;
    if (S_ISREG(info.st_mode)) return EntryKind::kFile;
    if (S_ISDIR(info.st_mode)) return EntryKind::kDirectory;
    return EntryKind::kOther;
}

bool IsLink(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool RemoveLink(const std::string& path) { return unlink(path.c_str()) == 0; }

std::optional<std::uint64_t> RegularFileSize(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

std::optional<std::uint64_t> FreeDiskSpace(const std::string& directory) {
    struct statvfs info {};
    if (statvfs(directory.c_str(), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

std::vector<std::string> ListDirectory(const std::string& directory) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(directory.c_str()));
    if (!dir) {
        throw FileSystemError("Could not list the folder " + directory + ": " +
                              DescribeErrno(errno) + ".");
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
        errno = 0;
    }
    if (errno != 0) {
        throw FileSystemError("Could not list the folder " + directory + ": " +
                              DescribeErrno(errno) + ".");
    }
    return names;
}

bool MoveFileOver(const std::string& source, const std::string& destination) {
    return std::rename(source.c_str(), destination.c_str()) == 0;
}

namespace system_calls {
bool MakeOneDirectory(const std::string& directory) { return mkdir(directory.c_str(), 0777) == 0; }
bool RemoveEmptyDirectory(const std::string& directory) { return rmdir(directory.c_str()) == 0; }
bool RemovePlainFile(const std::string& path) { return std::remove(path.c_str()) == 0; }
}  // namespace system_calls

UniqueFile OpenFile(const std::string& path, const char* mode) {
    return UniqueFile(std::fopen(path.c_str(), mode));
}

bool FlushToDisk(std::FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

bool SeekTo(std::FILE* file, std::uint64_t offset) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool SizeOfOpenFile(std::FILE* file, std::uint64_t& size) {
    if (fseeko(file, 0, SEEK_END) != 0) return false;
    return PositionInFile(file, size);
}

bool PositionInFile(std::FILE* file, std::uint64_t& position) {
    const off_t at = ftello(file);
    if (at < 0) return false;
    position = static_cast<std::uint64_t>(at);
    return true;
}

std::size_t ReadFileAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = pread(fileno(file), static_cast<char*>(buffer) + done, count - done,
                                static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

SystemCopier::SystemCopier(std::FILE* destination) : destination_(destination) {
    if (pipe2(pipe_, O_CLOEXEC) != 0) return;
    // At its default 64 KiB the pipe would write out in small pieces (see the header);
    // a system that refuses 1 MiB still copies, only dearer.
    fcntl(pipe_[1], F_SETPIPE_SZ, 1 << 20);
}

SystemCopier::~SystemCopier() {
    for (int end : pipe_) {
        if (end >= 0) close(end);
    }
}

bool SystemCopier::usable() const { return pipe_[0] >= 0; }

std::uint64_t SystemCopier::Queue(std::FILE* source, std::uint64_t from, std::uint64_t count) {
    auto in = static_cast<loff_t>(from);
    std::uint64_t done = 0;
    while (usable() && done < count) {
        const auto piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(count - done, 1u << 30));
        const ssize_t n = splice(fileno(source), &in, pipe_[1], nullptr, piece, SPLICE_F_NONBLOCK);
        if (n > 0) {
            done += static_cast<std::uint64_t>(n);
            queued_ += static_cast<std::uint64_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (!(n < 0 && errno == EAGAIN && queued_ > 0 && WriteOut())) {
            break;  // the source ended or failed, or the full queue could not be written out
        }
    }
    return done;
}

bool SystemCopier::QueueZeros(std::size_t count) {
    static char zeros[4096];  // never written: the pipe may refer to these pages
    while (usable() && count > 0) {
        iovec piece{zeros, std::min(count, sizeof zeros)};
        const ssize_t n = vmsplice(pipe_[1], &piece, 1, SPLICE_F_NONBLOCK);
        if (n > 0) {
            count -= static_cast<std::size_t>(n);
            queued_ += static_cast<std::uint64_t>(n);
        } else if (!(n < 0 && (errno == EINTR || (errno == EAGAIN && queued_ > 0 && WriteOut())))) {
            return false;
        }
    }
    return count == 0;
}

bool SystemCopier::WriteOut() {
    auto out = static_cast<loff_t>(position_);
    while (queued_ > 0) {
        const ssize_t n =
            splice(pipe_[0], nullptr, fileno(destination_), &out,
                   static_cast<std::size_t>(std::min<std::uint64_t>(queued_, 1u << 30)), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        queued_ -= static_cast<std::uint64_t>(n);
        position_ += static_cast<std::uint64_t>(n);
    }
    return queued_ == 0;
}

std::size_t SystemCopier::TakeBack(void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = read(pipe_[0], buffer,
                               static_cast<std::size_t>(std::min<std::uint64_t>(size, queued_)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        queued_ -= static_cast<std::uint64_t>(n);
        return static_cast<std::size_t>(n);
    }
}
