#include "update/zip_extract.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <zip.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/file_io.h"
#include "platform/move_file.h"
#include "platform/path.h"

#ifdef _WIN32
#include <direct.h>
#endif

namespace {

constexpr std::size_t kPathBuffer = 512;
constexpr std::uint8_t kHostUnix = 3;
constexpr std::uint8_t kHostOsx = 19;
constexpr std::uint32_t kSymbolicLinkBit = 0x20000000;
constexpr std::uint32_t kDosDirectoryBit = 0x10;

struct ArchiveDiscarder {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
struct SourceFreer {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using UniqueArchive = std::unique_ptr<zip_t, ArchiveDiscarder>;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool MakeOneDirectory(const std::string& path) {
#ifdef _WIN32
    return _mkdir(path.c_str()) == 0 || errno == EEXIST;
#else
    return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
#endif
}

// Drops leading separators and empty, "." and ".." components; kUnsafe names it refused.
int NormaliseEntryName(const std::string& name, std::string& normalised) {
    normalised.clear();
    std::size_t start = 0;
    while (start < name.size()) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        const std::string component = name.substr(start, end - start);
        if (!component.empty() && component != "." && component != "..") {
            if (IsUnsafeNameComponent(component)) return kExtractUnsafeName;
            normalised += component;
            if (end < name.size()) normalised += kPathSeparator;
        }
        start = end + 1;
    }
    return kExtractOk;
}

// Creates each directory on destination's path below its root (or drive).
bool MakeParentDirectories(const std::string& destination) {
    std::size_t first = 1;
    if (destination.size() > 2 && std::isalpha(static_cast<unsigned char>(destination[0])) &&
        destination[1] == ':') {
        first = 3;
    }
    for (std::size_t i = first; i < destination.size(); ++i) {
        if (IsSeparator(destination[i]) && !MakeOneDirectory(destination.substr(0, i)))
            return false;
    }
    return true;
}

bool WriteEntry(zip_t* archive, zip_uint64_t index, zip_uint64_t size,
                const std::string& destination) {
    std::unique_ptr<zip_file_t, EntryCloser> entry(zip_fopen_index(archive, index, 0));
    if (!entry) return false;
    UniqueFile out(std::fopen(destination.c_str(), "wb"));
    if (!out) return false;
    std::vector<char> buffer(64 * 1024);
    zip_uint64_t written = 0;
    for (;;) {
        // libzip checks the entry's CRC when it reaches the end of the data.
        const zip_int64_t got = zip_fread(entry.get(), buffer.data(), buffer.size());
        if (got < 0) return false;
        if (got == 0) break;
        if (std::fwrite(buffer.data(), 1, static_cast<std::size_t>(got), out.get()) !=
            static_cast<std::size_t>(got)) {
            return false;
        }
        written += static_cast<zip_uint64_t>(got);
    }
    return written == size && std::fclose(out.release()) == 0;
}

int ExtractEntry(zip_t* archive, zip_uint64_t index, zip_uint64_t size,
                 const std::string& destination, const std::string& temporary) {
    errno = 0;
    if (WriteEntry(archive, index, size, temporary) && MoveFileOver(temporary, destination))
        return kExtractOk;
    const int error = errno;
    std::remove(temporary.c_str());
    return error == ENOSPC ? kExtractDiskFull : kExtractWriteFailed;
}

}  // namespace

bool IsUnsafeNameComponent(const std::string& component) {
    if (component.find(':') != std::string::npos) return true;
    const char last = component.back();
    if (last == '.' || last == ' ') return true;
    // Windows reads a device name with any extension, and blanks before the dot, as the device.
    std::string base = Upper(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
        base[3] >= '1' && base[3] <= '9') {
        return true;
    }
    return false;
}

int ExtractZip(const char* zipPath, const char* directory, const char* stagingDirectory) {
    if (zipPath == nullptr || directory == nullptr) return kExtractNoArgument;

    // Opened through stdio, so the path is read in the same code page as every other.
    UniqueFile file(std::fopen(zipPath, "rb"));
    if (!file) return kExtractOpenFailed;
    zip_error_t error;
    zip_error_init(&error);
    std::unique_ptr<zip_source_t, SourceFreer> source(
        zip_source_filep_create(file.get(), 0, -1, &error));
    zip_error_fini(&error);
    if (!source) return kExtractOpenFailed;
    file.release();  // the source owns it now
    zip_error_init(&error);
    UniqueArchive archive(zip_open_from_source(source.get(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
    zip_error_fini(&error);
    if (!archive) return kExtractOpenFailed;
    source.release();  // the archive owns it now

    std::string base = directory;
    if (base.size() >= kPathBuffer) return kExtractBadName;
    if (base.empty() || !IsSeparator(base.back())) base += kPathSeparator;

    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive.get(), index, 0, &stat) != 0 ||
            (stat.valid & ZIP_STAT_NAME) == 0) {
            return kExtractStatFailed;
        }
        const std::string name = stat.name;
        if (name.empty()) return kExtractBadName;
        std::string relative;
        if (const int refused = NormaliseEntryName(name, relative)) return refused;
        if (relative.empty()) continue;  // only separators, dots: the directory itself
        const std::string destination = base + relative;
        if (destination.size() >= kPathBuffer) return kExtractBadName;
        if (!MakeParentDirectories(destination)) return kExtractMakeDirectoryFailed;

        zip_uint8_t host = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(archive.get(), index, 0, &host, &attributes) != 0) {
            return kExtractStatFailed;
        }
        if ((host == kHostUnix || host == kHostOsx) && (attributes & kSymbolicLinkBit) != 0)
            continue;
        if (IsSeparator(name.back()) || (attributes & kDosDirectoryBit) != 0) {
            if (!MakeOneDirectory(destination)) return kExtractMakeDirectoryFailed;
            continue;
        }
        const zip_uint64_t size = (stat.valid & ZIP_STAT_SIZE) != 0 ? stat.size : 0;
        const std::string temporary = stagingDirectory != nullptr
                                          ? JoinPath(stagingDirectory, "entry.part")
                                          : destination + ".part";
        if (const int failed = ExtractEntry(archive.get(), index, size, destination, temporary))
            return failed;
    }
    zip_t* open = archive.release();
    if (zip_close(open) == 0) return kExtractOk;
    zip_discard(open);  // a failed close leaves the archive to be freed
    return kExtractCloseFailed;
}

std::string ExtractZipFault(int code) {
    switch (code) {
        case kExtractOk:
            return "no fault";
        case kExtractOpenFailed:
            return "it is missing or is not a zip archive";
        case kExtractBadName:
            return "an entry has no name or a path too long for the game folder";
        case kExtractStatFailed:
            return "an entry's record could not be read";
        case kExtractWriteFailed:
            return "an entry could not be written, or its data is damaged";
        case kExtractNoArgument:
            return "no package or folder was given";
        case kExtractMakeDirectoryFailed:
            return "a folder for its entries could not be created";
        case kExtractCloseFailed:
            return "it could not be closed";
        case kExtractUnsafeName:
            return "an entry's name reaches outside the game folder";
        case kExtractDiskFull:
            return "an entry could not be written: " + DescribeErrno(ENOSPC);
    }
    return "error " + std::to_string(code);
}
