#include "platform/file_io.h"

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
