#include "platform/move_file.h"

#include <cstdio>

bool MoveFileOver(const std::string& source, const std::string& destination) {
    return std::rename(source.c_str(), destination.c_str()) == 0;
}
