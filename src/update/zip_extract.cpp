#include "update/zip_extract.h"

#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/confined_name.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/path.h"

namespace {

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

struct PlannedEntry {
    zip_uint64_t index;
    std::string name;  // as the zip gives it
    std::string path;  // below the root
    bool directory;
    zip_uint64_t size;
};

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

int Plan(zip_t* archive, const std::string& root, std::uint64_t maxExpanded,
         std::vector<PlannedEntry>& plan, std::uint64_t& total, std::string& detail) {
    NameClaims claims;
    total = 0;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        PlannedEntry entry{static_cast<zip_uint64_t>(i), "", "", false, 0};
        zip_stat_t stat;
        zip_stat_init(&stat);
        zip_uint8_t host = 0;
        zip_uint32_t attributes = 0;
        if (zip_stat_index(archive, entry.index, 0, &stat) != 0 ||
            (stat.valid & (ZIP_STAT_NAME | ZIP_STAT_SIZE)) != (ZIP_STAT_NAME | ZIP_STAT_SIZE) ||
            zip_file_get_external_attributes(archive, entry.index, 0, &host, &attributes) != 0) {
            return kExtractStatFailed;
        }
        entry.name = stat.name;
        entry.size = stat.size;
        if (entry.name.empty()) return kExtractBadName;
        detail = "entry " + Quoted(entry.name);
        if ((host == kHostUnix || host == kHostOsx) && (attributes & kSymbolicLinkBit) != 0)
            continue;
        std::string name = entry.name;
        entry.directory = IsSeparator(name.back()) || (attributes & kDosDirectoryBit) != 0;
        if (entry.directory && entry.size != 0) {
            detail += " is a folder holding data";
            return kExtractBadEntry;
        }
        if (IsSeparator(name.back())) name.pop_back();
        ConfinedName confined = ConfineName(root, name);
        if (!confined.ok()) {
            detail += " " + confined.refusal;
            return kExtractUnsafeName;
        }
        if (const std::string earlier = claims.Claim(name, entry.directory); !earlier.empty()) {
            detail = "entries " + Quoted(earlier) + " and " + Quoted(entry.name) +
                     " name the same file on Windows";
            return kExtractUnsafeName;
        }
        if (entry.size > maxExpanded - total) {
            detail = "it expands to more than " + std::to_string(maxExpanded) + " bytes (at " +
                     Quoted(entry.name) + ")";
            return kExtractTooLarge;
        }
        total += entry.size;
        entry.path = std::move(confined.path);
        plan.push_back(std::move(entry));
    }
    detail.clear();
    return kExtractOk;
}

// Creates each missing folder between root and path (path itself too for a folder).
bool MakeFolders(const std::string& root, const std::string& path, bool includingLast) {
    const std::size_t last = includingLast ? path.size() : path.find_last_of(kPathSeparator);
    for (std::size_t at = root.size() + 1; at <= last && at <= path.size(); ++at) {
        if (at != last && path[at] != kPathSeparator) continue;
        const std::string folder = path.substr(0, at);
        const EntryKind kind = KindOf(folder);
        if (kind == EntryKind::kDirectory) continue;
        if (kind != EntryKind::kMissing || !system_calls::MakeOneDirectory(folder)) return false;
    }
    return true;
}

// Copies the entry's data out, refusing data past its declared size: the central
// directory's sizes are what the plan was checked with.
int WriteEntry(zip_t* archive, const PlannedEntry& planned, const std::string& destination) {
    std::unique_ptr<zip_file_t, EntryCloser> entry(zip_fopen_index(archive, planned.index, 0));
    if (!entry) return kExtractWriteFailed;
    UniqueFile out = OpenFile(destination, "wb");
    if (!out) return kExtractWriteFailed;
    std::vector<char> buffer(64 * 1024);
    zip_uint64_t written = 0;
    for (;;) {
        // libzip checks the entry's CRC when it reaches the end of the data.
        const zip_int64_t got = zip_fread(entry.get(), buffer.data(), buffer.size());
        if (got < 0) return kExtractWriteFailed;
        if (got == 0) break;
        if (static_cast<zip_uint64_t>(got) > planned.size - written) return kExtractTooLarge;
        if (std::fwrite(buffer.data(), 1, static_cast<std::size_t>(got), out.get()) !=
            static_cast<std::size_t>(got)) {
            return kExtractWriteFailed;
        }
        written += static_cast<zip_uint64_t>(got);
    }
    if (written != planned.size || std::fclose(out.release()) != 0) return kExtractWriteFailed;
    return kExtractOk;
}

int ExtractEntry(zip_t* archive, const PlannedEntry& planned, const std::string& temporary) {
    errno = 0;
    int code = WriteEntry(archive, planned, temporary);
    if (code == kExtractOk && MoveFileOver(temporary, planned.path)) return kExtractOk;
    const int error = errno;
    RemoveFileIfPresent(temporary);
    if (code == kExtractOk) code = kExtractWriteFailed;
    return code == kExtractWriteFailed && error == ENOSPC ? kExtractDiskFull : code;
}

UniqueArchive OpenArchive(const char* zipPath) {
    // Opened through the file-system layer, so the path is read as every other one is.
    UniqueFile file = OpenFile(zipPath, "rb");
    if (!file) return nullptr;
    zip_error_t error;
    zip_error_init(&error);
    std::unique_ptr<zip_source_t, SourceFreer> source(
        zip_source_filep_create(file.get(), 0, -1, &error));
    zip_error_fini(&error);
    if (!source) return nullptr;
    file.release();  // the source owns it now
    zip_error_init(&error);
    UniqueArchive archive(zip_open_from_source(source.get(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
    zip_error_fini(&error);
    if (archive) source.release();  // the archive owns it now
    return archive;
}

}  // namespace

int ExtractZip(const char* zipPath, const char* directory, const char* stagingDirectory,
               std::string* detail, std::uint64_t maxExpanded) {
    std::string ignored;
    std::string& said = detail != nullptr ? *detail : ignored;
    said.clear();
    if (zipPath == nullptr || directory == nullptr) return kExtractNoArgument;
    UniqueArchive archive = OpenArchive(zipPath);
    if (!archive) return kExtractOpenFailed;

    std::string root = directory;
    while (root.size() > 1 && IsSeparator(root.back())) root.pop_back();
    std::vector<PlannedEntry> plan;
    std::uint64_t total = 0;
    if (const int refused = Plan(archive.get(), root, maxExpanded, plan, total, said))
        return refused;
    if (const auto space = FreeDiskSpace(root); space && *space < total) {
        said = "it needs " + std::to_string(total) + " bytes, and the disk has " +
               std::to_string(*space);
        return kExtractDiskFull;
    }

    for (const PlannedEntry& entry : plan) {
        if (!MakeFolders(root, entry.path, entry.directory)) {
            said = "entry \"" + entry.name + "\"";
            return kExtractMakeDirectoryFailed;
        }
        if (entry.directory) continue;
        const std::string temporary = stagingDirectory != nullptr
                                          ? JoinPath(stagingDirectory, "entry.part")
                                          : entry.path + ".part";
        if (const int failed = ExtractEntry(archive.get(), entry, temporary)) {
            said = "entry \"" + entry.name + "\"";
            return failed;
        }
    }
    zip_t* open = archive.release();
    if (zip_close(open) == 0) return kExtractOk;
    zip_discard(open);  // a failed close leaves the archive to be freed
    return kExtractCloseFailed;
}

std::string ExtractZipFault(int code, const std::string& detail) {
    std::string fault;
    switch (code) {
        case kExtractOk:
            fault = "no fault";
            break;
        case kExtractOpenFailed:
            fault = "it is missing or is not a zip archive";
            break;
        case kExtractBadName:
            fault = "an entry has no name";
            break;
        case kExtractStatFailed:
            fault = "an entry's record could not be read";
            break;
        case kExtractWriteFailed:
            fault = "an entry could not be written, or its data is damaged";
            break;
        case kExtractNoArgument:
            fault = "no package or folder was given";
            break;
        case kExtractMakeDirectoryFailed:
            fault = "a folder for its entries could not be created";
            break;
        case kExtractCloseFailed:
            fault = "it could not be closed";
            break;
        case kExtractUnsafeName:
            fault = "an entry's name reaches outside the game folder, or Windows cannot hold it";
            break;
        case kExtractBadEntry:
            fault = "an entry is malformed";
            break;
        case kExtractDiskFull:
            fault = DescribeErrno(ENOSPC);
            break;
        case kExtractTooLarge:
            fault = "it is larger than a package may be";
            break;
        default:
            fault = "error " + std::to_string(code);
    }
    return detail.empty() ? fault : fault + " (" + detail + ")";
}
