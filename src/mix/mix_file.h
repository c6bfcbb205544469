// MIX archives: the in-memory model, its reader and its writer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mix/stream.h"

class MixArchiveEntry {
public:
    // name holds its terminating NUL (and possibly an earlier one, which cuts it).
    MixArchiveEntry(std::unique_ptr<char[]> name, std::uint32_t id, std::uint32_t size)
        : name(std::move(name)), id(id), size(size) {}
    MixArchiveEntry(const MixArchiveEntry&) = delete;
    MixArchiveEntry& operator=(const MixArchiveEntry&) = delete;

    // The entry's data from its first byte; every call starts over.
    virtual Stream* GetStream() = 0;
    virtual ~MixArchiveEntry() = default;

    std::unique_ptr<char[]> name;
    std::uint32_t id;
    std::uint32_t size;
};

// An entry whose data stays in the archive file it was read from.
class MixArchiveEntryFile final : public MixArchiveEntry {
public:
    MixArchiveEntryFile(std::unique_ptr<char[]> name, std::uint32_t id, std::uint32_t size,
                        std::shared_ptr<ArchiveHandle> file, std::uint32_t offset)
        : MixArchiveEntry(std::move(name), id, size), stream(std::move(file), offset, size) {}

    Stream* GetStream() override;

    FileStream stream;
};

// An entry whose data is held in memory.
class MixArchiveEntryMemory final : public MixArchiveEntry {
public:
    MixArchiveEntryMemory(const std::string& name, std::uint32_t id, std::string bytes);

    Stream* GetStream() override;

    MemoryStream stream;
};

// Copies a name into the NUL-terminated heap array an entry owns.
std::unique_ptr<char[]> MakeEntryName(const std::string& name);

// The process-wide owner of every entry: the reader registers each one it creates,
// and archives only refer to them, so an entry can move between archives freely.
std::vector<MixArchiveEntry*>& MixEntryRegistry();
// Destroys every registered entry, which closes the archive handles they share.
void ReleaseMixEntries();

// Called with the body bytes written so far and the body's total.
using WriteProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

class MixFile {
public:
    static constexpr std::uint32_t kMix1 = 0x3158494D;  // "MIX1" read little-endian

    // An archive with no entries, to be filled with ReplaceFiles.
    MixFile() = default;
    // Reads the archive's directory; raises MixFormatError for an archive that
    // contradicts its own layout and MixIoError when it cannot be read.
    explicit MixFile(const std::string& path);
    MixFile(const MixFile&) = delete;
    MixFile& operator=(const MixFile&) = delete;

    // Sorts by unsigned id (stably, so equal ids keep the order given) and adopts
    // the list; entries stay with the registry.
    void ReplaceFiles(std::vector<MixArchiveEntry*> newEntries);

    // Serialises the archive to out from its current position. Raises MixIoError
    // naming outputName when a write fails, MixFormatError when an entry delivers
    // fewer bytes than its size, MixLimitError for what the layout cannot hold.
    void Write(std::FILE* out, const std::string& outputName = "output",
               const WriteProgress& progress = {}) const;

    std::uint32_t magic = kMix1;
    std::string path;
    std::vector<MixArchiveEntry*> entries;
};

// Writes archive into a temporary file beside outputPath and returns its path, the
// file complete, flushed and closed. On failure nothing is left behind.
std::string WriteMixFileBeside(const MixFile& archive, const std::string& outputPath,
                               const WriteProgress& progress = {});
// WriteMixFileBeside followed by moving the result over outputPath.
void WriteMixFileTo(const MixFile& archive, const std::string& outputPath,
                    const WriteProgress& progress = {});
