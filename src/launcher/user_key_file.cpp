#include "launcher/user_key_file.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

std::optional<std::string> ReadUserKeyFile(const std::string& path) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return std::nullopt;
    const long length = std::ftell(file.get());
    if (length < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return std::nullopt;
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    if (std::fread(buffer.data(), 1, static_cast<size_t>(length), file.get()) !=
        static_cast<size_t>(length)) {
        return std::nullopt;
    }
    return std::string(buffer.data());
}

bool WriteUserKeyFile(const std::string& path, const std::string& key) {
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    const bool written = std::fwrite(key.data(), 1, key.size(), file.get()) == key.size();
    return std::fclose(file.release()) == 0 && written;
}
