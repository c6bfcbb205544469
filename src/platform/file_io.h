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

// Bytes bound for one file, queued from other files and as zeros and written out by the
// system, never passing through this process's memory. On Linux the queue is a pipe of
// 1 MiB holding references to the source's pages, written out in large pieces: where
// the bytes sit at other places in their pages than they will in the destination,
// copy_file_range's own 64 KiB pipe writes in small fragments, at a third more cost.
// Elsewhere nothing can be queued and the caller copies the bytes itself.
class SystemCopier {
public:
    explicit SystemCopier(std::FILE* destination);
    ~SystemCopier();
    SystemCopier(const SystemCopier&) = delete;
    SystemCopier& operator=(const SystemCopier&) = delete;

    bool usable() const;
    std::uint64_t queued() const { return queued_; }
    // Where the next byte written out lands.
    std::uint64_t position() const { return position_; }
    // Only while nothing is queued; flush the destination's stdio buffer first.
    void MoveTo(std::uint64_t position) { position_ = position; }

    // Queues up to count bytes from offset from of source, writing out whenever the
    // queue is full. Returns the bytes queued: fewer where the source ends or fails, or
    // a write-out fails.
    std::uint64_t Queue(std::FILE* source, std::uint64_t from, std::uint64_t count);
    bool QueueZeros(std::size_t count);
    // Writes out everything queued; false when some of it could not be.
    bool WriteOut();
    // After a failed WriteOut, hands queued bytes back in order; 0 once none are left.
    std::size_t TakeBack(void* buffer, std::size_t size);

private:
    std::FILE* destination_;
    int pipe_[2] = {-1, -1};
    std::uint64_t queued_ = 0;
    std::uint64_t position_ = 0;
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
