#include "platform/file_io.h"

#include <cerrno>
#include <cstring>

#include "platform/file_system.h"

std::string DescribeErrno(int error) {
    if (error == ENOSPC) return "there is not enough space on the disk";
    return std::strerror(error);
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
    UniqueFile file = OpenFile(path, "rb");
    if (!file) return std::nullopt;
    std::string bytes;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, n);
    if (std::ferror(file.get())) return std::nullopt;
    return bytes;
}

int WriteFileWhole(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".new";
    UniqueFile file = OpenFile(temporary, "wb");
    if (!file) return errno;
    int error = 0;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
        !FlushToDisk(file.get())) {
        error = errno != 0 ? errno : EIO;
    }
    if (std::fclose(file.release()) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    if (error == 0 && !MoveFileOver(temporary, path)) error = errno != 0 ? errno : EIO;
    if (error != 0) std::remove(temporary.c_str());
    return error;
}
