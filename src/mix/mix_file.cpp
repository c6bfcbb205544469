#include "mix/mix_file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "mix/mix_error.h"

namespace {

std::uint32_t LoadLE32(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

// Names of an archive's entries, kept in a few large pieces: an allocation of its own
// would cost more than most names.
class NameStore {
public:
    char* Room(std::size_t length) {
        if (length > left_) {
            left_ = std::max(kPiece, length);
            pieces_.emplace_back(new char[left_]);
            next_ = pieces_.back().get();
        }
        char* room = next_;
        next_ += length;
        left_ -= length;
        return room;
    }

private:
    static constexpr std::size_t kPiece = 16 << 10;
    std::vector<std::unique_ptr<char[]>> pieces_;
    char* next_ = nullptr;
    std::size_t left_ = 0;
};

// The entries of one archive file, made together in one allocation; they share the
// archive's handle and store of names, which go with them.
class ArchiveEntries {
public:
    ArchiveEntries(UniqueFile file, std::string path) : handle(std::move(file), std::move(path)) {}
    ArchiveEntries(const ArchiveEntries&) = delete;
    ArchiveEntries& operator=(const ArchiveEntries&) = delete;
    ~ArchiveEntries() {
        for (std::size_t i = 0; i < count_; ++i) entries_[i].~MixArchiveEntryFile();
        if (entries_ != nullptr) {
            std::allocator<MixArchiveEntryFile>().deallocate(entries_, capacity_);
        }
    }

    // Once, before the first Add.
    void Reserve(std::size_t capacity) {
        entries_ = std::allocator<MixArchiveEntryFile>().allocate(capacity);
        capacity_ = capacity;
    }
    MixArchiveEntryFile* Add(const char* name, std::uint32_t id, std::uint32_t size,
                             std::uint32_t offset) {
        return new (entries_ + count_++) MixArchiveEntryFile(name, id, size, &handle, offset);
    }
    std::size_t size() const { return count_; }
    MixArchiveEntryFile* begin() { return entries_; }
    MixArchiveEntryFile* end() { return entries_ + count_; }

    ArchiveHandle handle;
    NameStore names;

private:
    MixArchiveEntryFile* entries_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t count_ = 0;
};

// Reads the directory of an archive, checking every table and record against the
// file's length before trusting it. Nothing is allocated from a count that the file
// could not hold.
class DirectoryReader {
public:
    DirectoryReader(ArchiveEntries& archive, std::uint64_t fileSize)
        : archive_(archive), file_(archive.handle), fileSize_(fileSize) {}

    std::uint32_t ReadMagicAndTables(std::uint32_t& indexOffset, std::uint32_t& namesOffset) {
        if (fileSize_ < 12) {
            Fail("file of " + std::to_string(fileSize_) +
                 " bytes is shorter than its 12-byte header");
        }
        unsigned char header[12];
        ReadExactly(0, header, sizeof header, "header");
        indexOffset = LoadLE32(header + 4);
        namesOffset = LoadLE32(header + 8);
        return LoadLE32(header);
    }

    // Makes the archive's entries, in the directory's order.
    void ReadEntries(std::uint32_t indexOffset, std::uint32_t namesOffset) {
        const std::uint32_t indexCount = ReadCount(indexOffset, "index");
        const std::uint64_t indexRoom = fileSize_ - indexOffset - 4;
        if (indexCount > indexRoom / 12) {
            Fail("index count " + std::to_string(indexCount) + " needs " +
                 std::to_string(std::uint64_t{indexCount} * 12) + " bytes but only " +
                 std::to_string(indexRoom) + " follow the index table offset");
        }
        std::vector<unsigned char> index(std::size_t{indexCount} * 12);
        ReadExactly(std::uint64_t{indexOffset} + 4, index.data(), index.size(), "index table");
        for (std::uint32_t i = 0; i < indexCount; ++i) {
            const unsigned char* record = index.data() + std::size_t{i} * 12;
            const std::uint64_t end = std::uint64_t{LoadLE32(record + 4)} + LoadLE32(record + 8);
            if (end > fileSize_) {
                Fail("index record " + std::to_string(i) + " (id " +
                     std::to_string(LoadLE32(record)) + ") has data at offset " +
                     std::to_string(LoadLE32(record + 4)) + " of size " +
                     std::to_string(LoadLE32(record + 8)) + " reaching past the end of the file (" +
                     std::to_string(fileSize_) + " bytes)");
            }
        }

        const std::uint32_t namesCount = ReadCount(namesOffset, "names");
        // An entry without its name could be neither found nor written back.
        if (namesCount != indexCount) {
            Fail("names count " + std::to_string(namesCount) + " differs from index count " +
                 std::to_string(indexCount));
        }
        // The shortest name record is two bytes: a length byte of 1 and the NUL.
        const std::uint64_t namesRoom = fileSize_ - namesOffset - 4;
        if (namesCount > namesRoom / 2) {
            Fail("names count " + std::to_string(namesCount) + " cannot fit in the " +
                 std::to_string(namesRoom) + " bytes after the names table offset");
        }

        archive_.Reserve(namesCount);
        std::uint64_t at = std::uint64_t{namesOffset} + 4;
        for (std::uint32_t i = 0; i < namesCount; ++i) {
            // A record's description is only written out for an error: archives hold
            // tens of thousands of names.
            const auto what = [i] { return "name record " + std::to_string(i); };
            const auto read = [&](std::uint64_t offset, void* buffer, std::size_t count) {
                if (offset + count > fileSize_ || file_.ReadAt(offset, buffer, count) != count) {
                    ReadExactly(offset, buffer, count, what());
                }
            };
            unsigned char length = 0;
            read(at, &length, 1);
            if (length == 0) Fail(what() + " has length 0, leaving no room for its NUL");
            char* name = archive_.names.Room(length);
            read(at + 1, name, length);
            if (name[length - 1] != '\0') Fail(what() + " does not end with a NUL");
            at += 1 + std::uint64_t{length};
            const unsigned char* record = index.data() + std::size_t{i} * 12;
            archive_.Add(name, LoadLE32(record), LoadLE32(record + 8), LoadLE32(record + 4));
        }
    }

private:
    std::uint32_t ReadCount(std::uint32_t tableOffset, const char* table) {
        if (std::uint64_t{tableOffset} + 4 > fileSize_) {
            Fail(std::string(table) + " table offset " + std::to_string(tableOffset) +
                 " lies past the end of the file (" + std::to_string(fileSize_) + " bytes)");
        }
        unsigned char count[4];
        ReadExactly(tableOffset, count, 4, std::string(table) + " count");
        return LoadLE32(count);
    }

    void ReadExactly(std::uint64_t offset, void* buffer, std::size_t count,
                     const std::string& what) {
        if (offset + count > fileSize_) Fail(what + " reaches past the end of the file");
        if (file_.ReadAt(offset, buffer, count) != count) {
            throw MixIoError(file_.path(), "cannot read the " + what);
        }
    }

    [[noreturn]] void Fail(const std::string& fault) { throw MixFormatError(file_.path(), fault); }

    ArchiveEntries& archive_;
    ArchiveHandle& file_;
    std::uint64_t fileSize_;
};

bool IdLess(const MixArchiveEntry* a, const MixArchiveEntry* b) { return a->id < b->id; }

}  // namespace

std::unique_ptr<char[]> MakeEntryName(const std::string& name) {
    auto copy = std::make_unique<char[]>(name.size() + 1);
    std::memcpy(copy.get(), name.c_str(), name.size() + 1);
    return copy;
}

Stream* MixArchiveEntryFile::GetStream() {
    stream.Rewind();
    return &stream;
}

MixArchiveEntryMemory::MixArchiveEntryMemory(const std::string& name, std::uint32_t id,
                                             std::string bytes)
    : MixArchiveEntryMemory(MakeEntryName(name), id, std::move(bytes)) {}

MixArchiveEntryMemory::MixArchiveEntryMemory(std::unique_ptr<char[]> name, std::uint32_t id,
                                             std::string bytes)
    : MixArchiveEntry(name.get(), id, static_cast<std::uint32_t>(bytes.size())),
      stream(std::move(bytes)),
      ownName_(std::move(name)) {}

Stream* MixArchiveEntryMemory::GetStream() {
    stream.Rewind();
    return &stream;
}

std::vector<MixArchiveEntry*>& MixEntryRegistry() {
    static std::vector<MixArchiveEntry*> registry;
    return registry;
}

namespace {

std::vector<std::unique_ptr<ArchiveEntries>>& ReadArchives() {
    static std::vector<std::unique_ptr<ArchiveEntries>> archives;
    return archives;
}

}  // namespace

std::size_t LiveMixEntryCount() {
    std::size_t count = MixEntryRegistry().size();
    for (const auto& archive : ReadArchives()) count += archive->size();
    return count;
}

void ReleaseMixEntries() {
    auto& registry = MixEntryRegistry();
    for (MixArchiveEntry* entry : registry) delete entry;
    registry.clear();
    ReadArchives().clear();
}

MixFile::MixFile(const std::string& path) : path(path) {
    UniqueFile opened = OpenFile(path, "rb");
    if (!opened) throw MixIoError(path, "cannot open for reading: " + LastErrorText());
    std::uint64_t fileSize = 0;
    if (!SizeOfOpenFile(opened.get(), fileSize)) {
        throw MixIoError(path, "cannot determine the file's size: " + LastErrorText());
    }
    // Only a directory that passed every check is registered, so a refused archive
    // leaves nothing behind.
    auto archive = std::make_unique<ArchiveEntries>(std::move(opened), path);
    DirectoryReader reader(*archive, fileSize);
    std::uint32_t indexOffset = 0;
    std::uint32_t namesOffset = 0;
    const std::uint32_t fileMagic = reader.ReadMagicAndTables(indexOffset, namesOffset);
    reader.ReadEntries(indexOffset, namesOffset);
    magic = fileMagic;
    // Entries read their data when they are written, from the file as it is then.
    archive->handle.Forget();

    std::vector<MixArchiveEntry*> read;
    read.reserve(archive->size());
    for (MixArchiveEntryFile& entry : *archive) read.push_back(&entry);
    // An archive without entries closes its handle here.
    if (!read.empty()) ReadArchives().push_back(std::move(archive));
    ReplaceFiles(std::move(read));
}

void MixFile::ReplaceFiles(std::vector<MixArchiveEntry*> newEntries) {
    // Lists usually arrive sorted (an archive the writer made) or sorted but for a few
    // entries at the end (a patched one): only those are sorted, then merged in, which
    // keeps the order of equal ids just as one stable sort of the whole list would.
    const auto sorted = std::is_sorted_until(newEntries.begin(), newEntries.end(), IdLess);
    std::stable_sort(sorted, newEntries.end(), IdLess);
    std::inplace_merge(newEntries.begin(), sorted, newEntries.end(), IdLess);
    entries = std::move(newEntries);
}
