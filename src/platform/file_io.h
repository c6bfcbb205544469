// stdio files behind RAII, for the formats every subsystem reads and writes.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

inline UniqueFile OpenFile(const std::string& path, const char* mode) {
    return UniqueFile(std::fopen(path.c_str(), mode));
}

// The description of an errno value for a message to the player: the runtime's words,
// except where they would not tell the player what to do (a full disk).
std::string DescribeErrno(int error);

// The whole file, or nothing when it is missing or cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& path);

// Replaces path with bytes whole or not at all: they are written to path + ".new",
// flushed to the disk and moved over path only when every step succeeded. Returns 0,
// or the errno of the step that failed (path is then as it was).
int WriteFileWhole(const std::string& path, const std::string& bytes);
