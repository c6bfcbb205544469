#include "platform/path.h"

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
