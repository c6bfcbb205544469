// C stdio handles for archive files: owned, 64-bit seekable, and shared by every
// entry of one archive.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/file_io.h"

// The text of errno, for error messages.
std::string LastErrorText();

// The one read handle of an archive file. Its entries take turns on it, so it
// remembers where the last read left it and seeks only when a reader is elsewhere:
// sequential reads of one entry cost no seek at all.
class ArchiveHandle {
public:
    ArchiveHandle(UniqueFile file, std::string path);

    const std::string& path() const { return path_; }

    // Moves the handle to offset unless it is already there.
    bool MoveTo(std::uint64_t offset);
    // Reads up to count bytes at offset; fewer at the end of the file or on an error.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count);

private:
    static constexpr std::uint64_t kUnknown = ~std::uint64_t{0};

    UniqueFile file_;
    std::string path_;
    std::uint64_t position_ = kUnknown;
};

// Moves a finished temporary file over destination in one step; on failure the
// temporary file is removed and destination is left as it was.
void ReplaceFileWith(const std::string& temporary, const std::string& destination);
