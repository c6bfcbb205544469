// Handles on archive files: owned, read at 64-bit offsets, and shared by every entry
// of one archive.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/file_io.h"

// The text of errno, for error messages.
std::string LastErrorText();

// The one read handle of an archive file, shared by its directory and every entry.
// Each read names its offset, so entries take turns on it without seeking. Small
// reads that follow the previous one, as the records of a table or the entries of
// an archive in its own order do, are served from a window read ahead in one piece.
class ArchiveHandle {
public:
    static constexpr std::size_t kWindow = 256 << 10;
    // Reads this large go straight to the caller's buffer: the window would only
    // add a copy.
    static constexpr std::size_t kDirect = 64 << 10;

    ArchiveHandle(UniqueFile file, std::string path);

    const std::string& path() const { return path_; }
    std::FILE* file() const { return file_.get(); }

    // Reads up to count bytes at offset; fewer at the end of the file or on an error.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count);
    // Empties the window, so that later reads see the file as it is then.
    void Forget() {
        window_.reset();
        windowSize_ = 0;
    }

private:
    UniqueFile file_;
    std::string path_;
    std::unique_ptr<char[]> window_;
    std::uint64_t windowStart_ = 0;
    std::size_t windowSize_ = 0;
    std::uint64_t lastEnd_ = ~std::uint64_t{0};
};

// Moves a finished temporary file over destination in one step; on failure the
// temporary file is removed and destination is left as it was.
void ReplaceFileWith(const std::string& temporary, const std::string& destination);
