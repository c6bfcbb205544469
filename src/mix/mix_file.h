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
    // name is NUL-terminated (it may hold an earlier NUL, which cuts it) and outlives
    // the entry: an entry made on its own owns it, one read from a file shares its
    // archive's store of names.
    MixArchiveEntry(const char* name, std::uint32_t id, std::uint32_t size)
        : name(name), id(id), size(size) {}
    MixArchiveEntry(const MixArchiveEntry&) = delete;
    MixArchiveEntry& operator=(const MixArchiveEntry&) = delete;

    // The entry's data from its first byte; every call starts over.
    virtual Stream* GetStream() = 0;
    virtual ~MixArchiveEntry() = default;

    const char* name;
    std::uint32_t id;
    std::uint32_t size;
};

// An entry whose data stays in an archive file; file outlives the entry.
class MixArchiveEntryFile final : public MixArchiveEntry {
public:
    MixArchiveEntryFile(const char* name, std::uint32_t id, std::uint32_t size, ArchiveHandle* file,
                        std::uint32_t offset)
        : MixArchiveEntry(name, id, size), stream(file, offset, size) {}

    Stream* GetStream() override;

    FileStream stream;
};

// An entry whose data is held in memory.
class MixArchiveEntryMemory final : public MixArchiveEntry {
public:
    MixArchiveEntryMemory(const std::string& name, std::uint32_t id, std::string bytes);

    Stream* GetStream() override;

    MemoryStream stream;

private:
    MixArchiveEntryMemory(std::unique_ptr<char[]> name, std::uint32_t id, std::string bytes);

    std::unique_ptr<char[]> ownName_;
};

// Copies a name into the NUL-terminated heap array an entry made on its own keeps.
std::unique_ptr<char[]> MakeEntryName(const std::string& name);

// The process-wide owner of every entry, so that an entry can move between archives
// freely: entries made one by one are registered here, and an archive read from a file
// registers all of its entries at once, with their names and the handle they share.
std::vector<MixArchiveEntry*>& MixEntryRegistry();
// Entries alive: those registered one by one and those of every archive read.
std::size_t LiveMixEntryCount();
// Destroys every entry, which closes the archive handles they share.
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
