// Where the writer's bytes go. They are gathered in a buffer small enough to stay in
// the processor's cache, entry data read straight into it, and leave it in writes of
// its whole size; the data of large entries read from archive files is copied by the
// system from file to file where it can, without passing through this process.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "mix/mix_file.h"
#include "platform/file_io.h"

class ArchiveOutput {
public:
    static constexpr std::size_t kBuffer = 128 << 10;
    // Smaller entries cost the system more in partial pages than a copy through the
    // buffer, which also gathers the entries an archive lists in its own order.
    static constexpr std::uint32_t kSystemCopyFrom = 64 << 10;

    // Writes to out from its current position; name is for error messages.
    ArchiveOutput(std::FILE* out, const std::string& name);

    void Bytes(const void* data, std::size_t count);
    void LE32(std::uint32_t value);
    void Zeros(std::size_t count);
    // The entry's data; returns how many bytes it delivered, which falls short of its
    // size only when its source did.
    std::uint64_t Entry(MixArchiveEntry& entry);
    // Hands what is gathered to out; out's own stdio buffer may still hold it.
    void Flush();

    [[noreturn]] void Fail() const;

private:
    std::uint64_t CopyBySystem(MixArchiveEntryFile& entry);

    std::FILE* out_;
    const std::string& name_;
    SystemCopier copier_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    // Where the buffer's first byte goes.
    std::uint64_t at_ = 0;
    // Set once the system has written past out's stdio position.
    bool behind_ = false;
    // Writing at the end of the output, where bytes never written read as zeros, and
    // no system copy has fallen short yet.
    bool systemCopies_ = false;
};
