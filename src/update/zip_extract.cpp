#include "update/zip_extract.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <memory>
#include <vector>

#include "platform/confined_name.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/stop_request.h"
#include "platform/worker_threads.h"
#include "update/zip_entry_writer.h"

namespace {

constexpr std::uint8_t kHostUnix = 3;
constexpr std::uint8_t kHostOsx = 19;
constexpr std::uint32_t kSymbolicLinkBit = 0x20000000;
constexpr std::uint32_t kDosDirectoryBit = 0x10;

struct ArchiveDiscarder {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct SourceFreer {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using UniqueArchive = std::unique_ptr<zip_t, ArchiveDiscarder>;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Memory for whole-entry buffers, shared out among the threads: a package's central
// directory already takes its part of the launcher's few MiB.
constexpr std::size_t kBufferBudget = 8 << 20;

struct PlannedEntry {
    EntryData data;
    std::string name;  // as the zip gives it
    std::string path;  // below the root
    bool directory;
};

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

int Plan(zip_t* archive, const std::string& root, std::uint64_t maxExpanded,
         std::vector<PlannedEntry>& plan, std::uint64_t& total, std::string& detail) {
    NameClaims claims;
    total = 0;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t stat;
        zip_stat_init(&stat);
        zip_uint8_t host = 0;
        zip_uint32_t attributes = 0;
        if (zip_stat_index(archive, index, 0, &stat) != 0 ||
            (stat.valid & (ZIP_STAT_NAME | ZIP_STAT_SIZE)) != (ZIP_STAT_NAME | ZIP_STAT_SIZE) ||
            zip_file_get_external_attributes(archive, index, 0, &host, &attributes) != 0) {
            return kExtractStatFailed;
        }
        PlannedEntry entry{DescribeEntry(stat, index), stat.name, "", false};
        const zip_uint64_t size = stat.size;
        if (entry.name.empty()) return kExtractBadName;
        detail = "entry " + Quoted(entry.name);
        if ((host == kHostUnix || host == kHostOsx) && (attributes & kSymbolicLinkBit) != 0)
            continue;
        std::string name = entry.name;
        entry.directory = IsSeparator(name.back()) || (attributes & kDosDirectoryBit) != 0;
        if (entry.directory && size != 0) {
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
        if (size > maxExpanded - total) {
            detail = "it expands to more than " + std::to_string(maxExpanded) + " bytes (at " +
                     Quoted(entry.name) + ")";
            return kExtractTooLarge;
        }
        total += size;
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
        if (kind != EntryKind::kMissing) return false;
        // Another thread may make it in the meantime.
        if (!system_calls::MakeOneDirectory(folder) && KindOf(folder) != EntryKind::kDirectory)
            return false;
    }
    return true;
}

int ExtractEntry(EntryWriter& writer, const PlannedEntry& planned, const std::string& temporary) {
    errno = 0;
    int code = writer.Write(planned.data, temporary);
    if (code == kExtractOk && MoveFileOver(temporary, planned.path)) return kExtractOk;
    const int error = errno;
    RemoveFileIfPresent(temporary);
    if (code == kExtractOk) code = kExtractWriteFailed;
    return code == kExtractWriteFailed && error == ENOSPC ? kExtractDiskFull : code;
}

// Each thread stages its entries under a name of its own.
std::string Temporary(const char* stagingDirectory, const PlannedEntry& entry, unsigned worker) {
    if (stagingDirectory == nullptr) return entry.path + ".part";
    return JoinPath(stagingDirectory,
                    worker == 0 ? "entry.part" : "entry-" + std::to_string(worker) + ".part");
}

// One thread takes the entries in central-directory order. Several take the largest
// first, so that none is left alone with a big archive at the end.
std::vector<std::size_t> WritingOrder(const std::vector<PlannedEntry>& plan, unsigned threads) {
    std::vector<std::size_t> order(plan.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (threads > 1) {
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return plan[a].data.size > plan[b].data.size;
        });
    }
    return order;
}

// Writes the plan's entries on several threads; a failure stops the others. The code of
// the first entry in the plan that failed, with its index in failed.
int WritePlan(zip_t* archive, const std::string& root, const char* stagingDirectory,
              const std::vector<PlannedEntry>& plan, std::size_t& failed) {
    const auto threads =
        static_cast<unsigned>(std::clamp<std::size_t>(plan.size(), 1, WorkerThreadCount()));
    const std::vector<std::size_t> order = WritingOrder(plan, threads);
    SharedArchive shared(archive);
    WorkQueue queue(plan.size());
    std::vector<std::unique_ptr<EntryWriter>> writers;
    for (unsigned i = 0; i < threads; ++i) {
        writers.push_back(
            std::make_unique<EntryWriter>(shared, kBufferBudget / 2 / threads, queue));
    }
    std::vector<int> codes(plan.size(), kExtractOk);
    std::vector<std::exception_ptr> raised(threads);
    RunOnThreads(threads, [&](unsigned worker) {
        std::size_t item;
        while (queue.Take(item)) {
            const PlannedEntry& entry = plan[order[item]];
            int& code = codes[order[item]];
            try {
                ThrowIfStopped();
                if (!MakeFolders(root, entry.path, entry.directory)) {
                    code = kExtractMakeDirectoryFailed;
                } else if (!entry.directory) {
                    code = ExtractEntry(*writers[worker], entry,
                                        Temporary(stagingDirectory, entry, worker));
                }
            } catch (...) {
                raised[worker] = std::current_exception();
                code = kExtractWriteFailed;
            }
            if (code != kExtractOk) queue.Stop();
        }
    });
    for (const std::exception_ptr& exception : raised) {
        if (exception) std::rethrow_exception(exception);
    }
    for (failed = 0; failed < plan.size(); ++failed) {
        const int code = codes[failed];
        if (code != kExtractOk && code != kExtractAbandoned) return code;
    }
    return kExtractOk;
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

    std::size_t failed = 0;
    if (const int code = WritePlan(archive.get(), root, stagingDirectory, plan, failed)) {
        said = "entry \"" + plan[failed].name + "\"";
        return code;
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
