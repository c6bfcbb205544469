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
bool PositionInFile(std::FILE* file, std::uint64_t& position);

// Reads up to count bytes at offset without using or moving the file's position, so
// readers sharing one open file never seek; fewer at the end of the file or on an error.
std::size_t ReadFileAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t count);

// Has the system copy byte ranges from file to file, bypassing stdio on both (flush the
// destination first) and this process's memory. It keeps what the system needs for that
// from one copy to the next: on Linux a pipe of 1 MiB, through which page references
// move in large pieces. Where the two offsets sit at different places in their pages,
// copy_file_range's own 64 KiB pipe writes the destination in small fragments, at a
// third more cost.
class SystemCopier {
public:
    SystemCopier();
    ~SystemCopier();
    SystemCopier(const SystemCopier&) = delete;
    SystemCopier& operator=(const SystemCopier&) = delete;

    // Copies up to count bytes from offset from of source to offset to of destination.
    // Returns the bytes copied: fewer, even none, where the system cannot or a read or
    // write fails; the caller copies the rest itself and so meets any error there.
    std::uint64_t Copy(std::FILE* source, std::uint64_t from, std::FILE* destination,
                       std::uint64_t to, std::uint64_t count);

private:
    int pipe_[2] = {-1, -1};
    std::size_t capacity_ = 0;
};

// The description of an errno value for a message to the player: the runtime's words,
// except where they would not tell the player what to do (a full disk).
std::string DescribeErrno(int error);

// The whole file, or nothing when it is missing or cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& path);

// Replaces path with bytes whole or not at all: they are written to path + ".new",
// flushed to the disk and moved over path only when every step succeeded. Returns 0,
// or the errno of the step that failed (path is then as it was).
int WriteFileWhole(const std::string& path, const std::string& bytes);
