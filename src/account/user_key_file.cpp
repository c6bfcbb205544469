#include "account/user_key_file.h"

#include "platform/file_io.h"

std::optional<std::string> ReadUserKeyFile(const std::string& path) {
    const std::optional<std::string> bytes = ReadFileBytes(path);
    if (!bytes) return std::nullopt;
    return std::string(bytes->c_str());  // up to the first zero byte
}

bool WriteUserKeyFile(const std::string& path, const std::string& key) {
    return WriteFileWhole(path, key) == 0;
}
