// stdio files behind RAII, for the formats every subsystem reads and writes. Opening
// goes through the file-system layer's path encoding (see file_system.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

UniqueFile OpenFile(const std::string& path, const char* mode);

// Pushes what the system holds of an open file to the disk, so that a file renamed
// into place afterwards survives a power cut whole.
bool FlushToDisk(std::FILE* file);

// 64-bit positions: fseek takes a long, which is 32 bits in the Windows build.
bool SeekTo(std::FILE* file, std::uint64_t offset);
bool SizeOfOpenFile(std::FILE* file, std::uint64_t& size);

// The description of an errno value for a message to the player: the runtime's words,
// except where they would not tell the player what to do (a full disk).
std::string DescribeErrno(int error);

// The whole file, or nothing when it is missing or cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& path);

// Replaces path with bytes whole or not at all: they are written to path + ".new",
// flushed to the disk and moved over path only when every step succeeded. Returns 0,
// or the errno of the step that failed (path is then as it was).
int WriteFileWhole(const std::string& path, const std::string& bytes);
