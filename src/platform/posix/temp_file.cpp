#include "platform/temp_file.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

std::string NewTemporaryFile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrava-XXXXXX").string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return "";
    close(fd);
    return pattern;
}
