#include "zip_archive_writer.h"

#include <system_error>

#include "publisher.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;  // 1980-01-01
constexpr std::uint16_t kDosTime = 0;
constexpr std::uint32_t kRegularFileMode = 0100644;
constexpr std::uint16_t kMadeOnUnix = 3 << 8;
constexpr std::uint16_t kFlagMaximumCompression = 1 << 1;  // levels 8 and 9
constexpr std::uint16_t kFlagUtf8Name = 1 << 11;
constexpr std::uint16_t kZip64ExtraId = 1;
constexpr std::uint32_t kMax32 = 0xFFFFFFFF;
constexpr std::uint16_t kMax16 = 0xFFFF;
// An entry this large might compress to 4 GiB or more: its local record makes room for
// 64-bit sizes before the data tells.
constexpr std::uint64_t kZip64From = 0xF0000000;

void Put16(std::string& out, std::uint16_t value) {
    for (int i = 0; i < 2; ++i) out += static_cast<char>(value >> (8 * i));
}
void Put32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i));
}
void Put64(std::string& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>(value >> (8 * i));
}
std::uint32_t Clamp32(std::uint64_t value) {
    return value >= kMax32 ? kMax32 : static_cast<std::uint32_t>(value);
}

std::uint16_t Flags(const std::string& name, ZipMethod method) {
    std::uint16_t flags = method == ZipMethod::kDeflate ? kFlagMaximumCompression : 0;
    for (char c : name) {
        if (static_cast<unsigned char>(c) >= 0x80) return flags | kFlagUtf8Name;
    }
    return flags;
}

std::uint16_t VersionNeeded(bool zip64, ZipMethod method) {
    return zip64 ? 45 : method == ZipMethod::kDeflate ? 20 : 10;
}

}  // namespace

ZipArchiveWriter::ZipArchiveWriter(fs::path path)
    : path_(std::move(path)), partial_(path_.string() + ".tmp") {
    file_ = OpenFile(partial_.u8string(), "wb");
    if (!file_) throw PublishError("cannot create " + partial_.string());
}

ZipArchiveWriter::~ZipArchiveWriter() {
    if (!file_) return;
    file_.reset();
    std::error_code ignored;
    fs::remove(partial_, ignored);
}

void ZipArchiveWriter::Fail() const { throw PublishError("cannot write " + partial_.string()); }

void ZipArchiveWriter::Put(const std::string& bytes) {
    Write(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

void ZipArchiveWriter::Write(const unsigned char* data, std::size_t count) {
    if (count == 0) return;  // an empty file's data may be no pointer at all
    if (std::fwrite(data, 1, count, file_.get()) != count) Fail();
    offset_ += count;
    if (open_) entries_.back().compressedSize += count;
}

std::string ZipArchiveWriter::LocalRecord(const Entry& entry) const {
    std::string record;
    Put32(record, 0x04034b50);
    Put16(record, VersionNeeded(entry.zip64, entry.method));
    Put16(record, Flags(entry.name, entry.method));
    Put16(record, static_cast<std::uint16_t>(entry.method));
    Put16(record, kDosTime);
    Put16(record, kDosDate);
    Put32(record, entry.crc);
    Put32(record, entry.zip64 ? kMax32 : static_cast<std::uint32_t>(entry.compressedSize));
    Put32(record, entry.zip64 ? kMax32 : static_cast<std::uint32_t>(entry.size));
    Put16(record, static_cast<std::uint16_t>(entry.name.size()));
    Put16(record, entry.zip64 ? 20 : 0);
    record += entry.name;
    if (entry.zip64) {
        Put16(record, kZip64ExtraId);
        Put16(record, 16);
        Put64(record, entry.size);
        Put64(record, entry.compressedSize);
    }
    return record;
}

std::string ZipArchiveWriter::CentralRecord(const Entry& entry) const {
    // The zip64 field holds, in this order, each value too large for its 32-bit field.
    std::string extra;
    for (std::uint64_t value : {entry.size, entry.compressedSize, entry.offset}) {
        if (value >= kMax32) Put64(extra, value);
    }
    const bool zip64 = entry.zip64 || !extra.empty();
    std::string record;
    Put32(record, 0x02014b50);
    Put16(record, kMadeOnUnix | VersionNeeded(zip64, entry.method));
    Put16(record, VersionNeeded(zip64, entry.method));
    Put16(record, Flags(entry.name, entry.method));
    Put16(record, static_cast<std::uint16_t>(entry.method));
    Put16(record, kDosTime);
    Put16(record, kDosDate);
    Put32(record, entry.crc);
    Put32(record, Clamp32(entry.compressedSize));
    Put32(record, Clamp32(entry.size));
    Put16(record, static_cast<std::uint16_t>(entry.name.size()));
    Put16(record, static_cast<std::uint16_t>(extra.empty() ? 0 : extra.size() + 4));
    Put16(record, 0);  // comment
    Put16(record, 0);  // disk
    Put16(record, 0);  // internal attributes
    Put32(record, kRegularFileMode << 16);
    Put32(record, Clamp32(entry.offset));
    record += entry.name;
    if (!extra.empty()) {
        Put16(record, kZip64ExtraId);
        Put16(record, static_cast<std::uint16_t>(extra.size()));
        record += extra;
    }
    return record;
}

ZipArchiveWriter::Entry& ZipArchiveWriter::NewEntry(const std::string& name, std::uint64_t size) {
    if (name.size() > kMax16) throw PublishError("the name " + name + " is too long for a zip");
    Entry entry;
    entry.name = name;
    entry.offset = offset_;
    entry.size = size;
    entry.zip64 = size >= kZip64From;
    entries_.push_back(entry);
    return entries_.back();
}

void ZipArchiveWriter::AddEntry(const std::string& name, std::uint64_t size, ZipMethod method,
                                std::uint32_t crc, const unsigned char* data, std::size_t count) {
    Entry& entry = NewEntry(name, size);
    entry.method = method;
    entry.crc = crc;
    entry.compressedSize = count;
    Put(LocalRecord(entry));
    Write(data, count);
}

void ZipArchiveWriter::BeginEntry(const std::string& name, std::uint64_t size) {
    Put(LocalRecord(NewEntry(name, size)));  // a placeholder until the data has been written
    open_ = true;
}

void ZipArchiveWriter::EndEntry(ZipMethod method, std::uint32_t crc) {
    open_ = false;
    Entry& entry = entries_.back();
    entry.method = method;
    entry.crc = crc;
    if (!entry.zip64 && entry.compressedSize >= kMax32) {
        throw PublishError(entry.name + " compresses to more than a zip entry of its size holds");
    }
    if (!SeekTo(file_.get(), entry.offset)) Fail();
    const std::string record = LocalRecord(entry);
    if (std::fwrite(record.data(), 1, record.size(), file_.get()) != record.size() ||
        !SeekTo(file_.get(), offset_)) {
        Fail();
    }
}

void ZipArchiveWriter::Finish() {
    const std::uint64_t directoryOffset = offset_;
    for (const Entry& entry : entries_) Put(CentralRecord(entry));
    const std::uint64_t directorySize = offset_ - directoryOffset;
    const std::uint64_t count = entries_.size();
    std::string end;
    if (count >= kMax16 || directoryOffset >= kMax32 || directorySize >= kMax32) {
        const std::uint64_t zip64End = offset_;
        Put32(end, 0x06064b50);
        Put64(end, 44);  // the record's size after this field
        Put16(end, kMadeOnUnix | 45);
        Put16(end, 45);
        Put32(end, 0);  // this disk
        Put32(end, 0);  // the directory's disk
        Put64(end, count);
        Put64(end, count);
        Put64(end, directorySize);
        Put64(end, directoryOffset);
        Put32(end, 0x07064b50);
        Put32(end, 0);
        Put64(end, zip64End);
        Put32(end, 1);  // disks
    }
    Put32(end, 0x06054b50);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, static_cast<std::uint16_t>(count >= kMax16 ? kMax16 : count));
    Put16(end, static_cast<std::uint16_t>(count >= kMax16 ? kMax16 : count));
    Put32(end, Clamp32(directorySize));
    Put32(end, Clamp32(directoryOffset));
    Put16(end, 0);  // comment
    Put(end);
    const bool closed = std::fclose(file_.release()) == 0;
    std::error_code error;
    if (closed) fs::rename(partial_, path_, error);
    if (!closed || error) {
        fs::remove(partial_, error);
        throw PublishError("cannot write " + path_.string());
    }
}
