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
#include <utility>

#include "platform/file_io.h"
#include "platform/path.h"

const char kPathSeparator = '/';

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

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

SystemCopier::SystemCopier() {
    if (pipe2(pipe_, O_CLOEXEC) != 0) return;
    int size = fcntl(pipe_[1], F_SETPIPE_SZ, 1 << 20);
    if (size <= 0) size = fcntl(pipe_[1], F_GETPIPE_SZ);
    capacity_ = size > 0 ? static_cast<std::size_t>(size) : 4096;
}

SystemCopier::~SystemCopier() {
    for (int end : pipe_) {
        if (end >= 0) close(end);
    }
}

std::uint64_t SystemCopier::Copy(std::FILE* source, std::uint64_t from, std::FILE* destination,
                                 std::uint64_t to, std::uint64_t count) {
    auto in = static_cast<loff_t>(from);
    auto out = static_cast<loff_t>(to);
    std::uint64_t done = 0;
    while (pipe_[0] >= 0 && done < count) {
        // The pipe is empty at every turn, so filling it never waits.
        const auto piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(count - done, capacity_));
        ssize_t filled = splice(fileno(source), &in, pipe_[1], nullptr, piece, SPLICE_F_MOVE);
        if (filled < 0 && errno == EINTR) continue;
        if (filled <= 0) break;
        while (filled > 0) {
            const ssize_t n = splice(pipe_[0], nullptr, fileno(destination), &out,
                                     static_cast<std::size_t>(filled), SPLICE_F_MOVE);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            filled -= n;
            done += static_cast<std::uint64_t>(n);
        }
        if (filled > 0) {
            // Bytes left in the pipe would reach the next copy: no pipe, no more copies.
            for (int& end : pipe_) close(std::exchange(end, -1));
        }
    }
    return done;
}
