// One zip as the publisher lays it out: each entry's local record, its data, then the
// central directory; zip64 records only where sizes or offsets need them. Every entry
// is dated 1980-01-01 00:00 with UNIX mode 0644, so its records depend on its name and
// data alone. The archive is written under path + ".tmp" and renamed to path once
// whole: a reader never sees half of one, and what a killed publish left is written
// over next time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_io.h"

enum class ZipMethod : std::uint16_t { kStore = 0, kDeflate = 8 };

class ZipArchiveWriter {
public:
    explicit ZipArchiveWriter(std::filesystem::path path);
    // Without Finish, removes what it wrote.
    ~ZipArchiveWriter();
    ZipArchiveWriter(const ZipArchiveWriter&) = delete;
    ZipArchiveWriter& operator=(const ZipArchiveWriter&) = delete;

    // An entry whose data is at hand whole, compressed by method.
    void AddEntry(const std::string& name, std::uint64_t size, ZipMethod method, std::uint32_t crc,
                  const unsigned char* data, std::size_t count);
    // An entry written as its data comes; size is the data before compression.
    void BeginEntry(const std::string& name, std::uint64_t size);
    void Write(const unsigned char* data, std::size_t count);
    void EndEntry(ZipMethod method, std::uint32_t crc);
    void Finish();

    // Each raises PublishError naming the archive.
private:
    struct Entry {
        std::string name;
        std::uint64_t offset = 0;  // of its local record
        std::uint64_t size = 0;
        std::uint64_t compressedSize = 0;
        std::uint32_t crc = 0;
        ZipMethod method = ZipMethod::kStore;
        bool zip64 = false;
    };
    void Put(const std::string& bytes);
    Entry& NewEntry(const std::string& name, std::uint64_t size);
    std::string LocalRecord(const Entry& entry) const;
    std::string CentralRecord(const Entry& entry) const;
    [[noreturn]] void Fail() const;

    std::filesystem::path path_;
    std::filesystem::path partial_;
    UniqueFile file_;
    std::vector<Entry> entries_;
    std::uint64_t offset_ = 0;  // where the next byte goes
    bool open_ = false;         // between BeginEntry and EndEntry
};
