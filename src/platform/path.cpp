#include "platform/path.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

std::string JoinPath(const std::string& directory, const std::string& name) {
    std::string path = directory;
    path += kPathSeparator;
    path += name;
    return path;
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

bool RemoveFileIfPresent(const std::string& path) {
    return std::remove(path.c_str()) == 0 || errno == ENOENT;
}
