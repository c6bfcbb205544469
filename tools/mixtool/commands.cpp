#include "commands.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "delta/delta_file.h"
#include "input_file_entry.h"
#include "mix/mix_diff.h"
#include "mix/mix_error.h"
#include "mix/mix_patcher.h"
#include "mix/patch_descriptor.h"
#include "platform/confined_name.h"
#include "platform/file_system.h"
#include "platform/path.h"

namespace {

constexpr std::uint64_t kProgressThreshold = 100ull << 20;

// Percentages on stderr for work over 100 MiB; silence below that.
class Progress {
public:
    explicit Progress(std::string label) : label_(std::move(label)) {}
    ~Progress() {
        if (shown_ >= 0) std::fputc('\n', stderr);
    }

    void operator()(std::uint64_t done, std::uint64_t total) {
        if (total <= kProgressThreshold) return;
        const int percent = static_cast<int>(done * 100 / total);
        if (percent == shown_) return;
        shown_ = percent;
        std::fprintf(stderr, "\rmixtool: %s: %d%%", label_.c_str(), percent);
        std::fflush(stderr);
    }

    WriteProgress Callback() {
        return [this](std::uint64_t done, std::uint64_t total) { (*this)(done, total); };
    }

private:
    std::string label_;
    int shown_ = -1;
};

// Entries live in the registry; this empties it however the command ends.
struct RegistryScope {
    ~RegistryScope() { ReleaseMixEntries(); }
};

std::uint64_t TotalSize(const MixFile& archive) {
    std::uint64_t total = 0;
    for (const MixArchiveEntry* entry : archive.entries) total += entry->size;
    return total;
}

std::uint32_t OffsetOf(const MixArchiveEntry& entry) {
    if (const auto* fromFile = dynamic_cast<const MixArchiveEntryFile*>(&entry)) {
        return fromFile->stream.start;
    }
    return 0;
}

// The path an entry is extracted to, or an error for names that would land outside
// directory, that Windows cannot hold, or that fold onto an earlier entry's file.
std::vector<std::string> ExtractionPaths(const std::string& archive, const MixFile& mix,
                                         const std::string& directory) {
    std::vector<std::string> paths;
    NameClaims claims;
    for (const MixArchiveEntry* entry : mix.entries) {
        const std::string name = entry->name;
        ConfinedName confined = ConfineName(directory, name);
        if (!confined.ok()) {
            throw MixLimitError(archive, "entry name \"" + name + "\" " + confined.refusal +
                                             ": it would not be extracted inside " + directory);
        }
        if (const std::string earlier = claims.Claim(name); !earlier.empty()) {
            throw MixLimitError(archive, "entry names \"" + earlier + "\" and \"" + name +
                                             "\" would be one file on Windows");
        }
        paths.push_back(std::move(confined.path));
    }
    return paths;
}

std::uint32_t ParseId(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                              std::string::npos) {
        throw UsageError("id \"" + text + "\" is not a decimal or 0x-prefixed hex number");
    }
    const unsigned long long value = std::stoull(digits, nullptr, hex ? 16 : 10);
    if (digits.size() > 20 || value > 0xFFFFFFFFull) {
        throw UsageError("id \"" + text + "\" does not fit in 32 bits");
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::uint32_t DefaultEntryId(const std::string& name) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void ListArchive(const std::string& archivePath, bool tsv) {
    RegistryScope scope;
    MixFile archive(archivePath);
    if (tsv) {
        for (const MixArchiveEntry* entry : archive.entries) {
            std::printf("%" PRIu32 "\t%" PRIu32 "\t%" PRIu32 "\t%s\n", entry->id, OffsetOf(*entry),
                        entry->size, entry->name);
        }
        return;
    }
    std::printf("%-10s  %10s  %10s  %s\n", "id", "offset", "size", "name");
    for (const MixArchiveEntry* entry : archive.entries) {
        std::printf("0x%08" PRIX32 "  %10" PRIu32 "  %10" PRIu32 "  %s\n", entry->id,
                    OffsetOf(*entry), entry->size, entry->name);
    }
    std::printf("%zu entries, %" PRIu64 " bytes of data\n", archive.entries.size(),
                TotalSize(archive));
}

void ExtractArchive(const std::string& archivePath, const std::string& directory) {
    RegistryScope scope;
    MixFile archive(archivePath);
    RefuseDuplicateNames(archive);
    const std::vector<std::string> paths = ExtractionPaths(archivePath, archive, directory);

    Progress progress("extracting " + archivePath);
    const std::uint64_t total = TotalSize(archive);
    std::uint64_t done = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        MixArchiveEntry& entry = *archive.entries[i];
        MakeDirectories(paths[i].substr(0, paths[i].find_last_of(kPathSeparator)));
        UniqueFile out = OpenFile(paths[i], "wb");
        if (!out) throw MixIoError(paths[i], "cannot create: " + LastErrorText());
        const std::uint64_t copied = entry.GetStream()->CopyTo(out.get());
        if (std::ferror(out.get()) || std::fclose(out.release()) != 0) {
            throw MixIoError(paths[i], "write failed: " + LastErrorText());
        }
        if (copied != entry.size) {
            throw MixFormatError(archivePath, "entry \"" + std::string(entry.name) +
                                                  "\" delivered " + std::to_string(copied) +
                                                  " of its " + std::to_string(entry.size) +
                                                  " bytes");
        }
        done += entry.size;
        progress(done, total);
    }
}

void CreateArchive(const std::string& archivePath, const std::vector<IdOverride>& ids,
                   const std::vector<std::string>& files) {
    RegistryScope scope;
    MixFile archive;
    std::vector<MixArchiveEntry*> entries;
    for (const std::string& file : files) {
        const std::string name = FileNameOf(file);
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(file, error);
        if (error) throw MixIoError(file, "cannot read: " + error.message());
        if (size > 0xFFFFFFFFu) throw MixLimitError(file, "is larger than an entry can be (4 GiB)");
        std::uint32_t id = DefaultEntryId(name);
        for (const IdOverride& given : ids) {
            if (NamesMatch(given.name.c_str(), name.c_str())) id = given.id;
        }
        auto* entry = new InputFileEntry(name, id, static_cast<std::uint32_t>(size), file);
        MixEntryRegistry().push_back(entry);
        entries.push_back(entry);
    }
    archive.path = archivePath;
    archive.ReplaceFiles(entries);
    const NameIndex names = RefuseDuplicateNames(archive);
    for (const IdOverride& given : ids) {
        if (names.First(given.name.c_str()) == nullptr) {
            throw UsageError("--id names \"" + given.name + "\", which is none of the files");
        }
    }
    Progress progress("writing " + archivePath);
    WriteMixFileTo(archive, archivePath, progress.Callback());
}

void DiffArchives(const std::string& oldPath, const std::string& newPath,
                  const std::string& patchPath, bool deltas, const DeltaOptions& options) {
    RegistryScope scope;
    Progress diffing("making deltas for " + patchPath);
    Progress progress("writing " + patchPath);
    MixDiffOptions diff;
    diff.deltas = deltas;
    diff.delta = options;
    diff.progress = progress.Callback();
    diff.diffProgress = diffing.Callback();
    DiffMixArchives(oldPath, newPath, patchPath, diff);
}

void MakeFileDelta(const std::string& oldFile, const std::string& newFile, const std::string& delta,
                   const DeltaOptions& options) {
    Progress progress("making " + delta);
    DeltaOptions shown = options;
    shown.progress = progress.Callback();
    MakeDeltaFile(oldFile, newFile, delta, shown);
}

void ApplyFileDelta(const std::string& oldFile, const std::string& delta,
                    const std::string& output) {
    try {
        ApplyDeltaFile(oldFile, delta, output);
    } catch (const DeltaError& error) {
        throw MixFormatError(delta, error.what());
    }
}

DeltaOptions TakeDeltaOptions(std::vector<std::string>& args) {
    DeltaOptions options;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& flag = args[i];
        if (flag != "--block" && flag != "--window" && flag != "--level") {
            rest.push_back(flag);
            continue;
        }
        if (++i == args.size() || args[i].empty() ||
            args[i].find_first_not_of("0123456789") != std::string::npos || args[i].size() > 9)
            throw UsageError(flag + " needs a number");
        const auto value = static_cast<std::uint32_t>(std::stoul(args[i]));
        if (flag == "--level") {
            options.level = static_cast<int>(value);
        } else if (value == 0 || value > (1u << 22)) {
            throw UsageError(flag + " takes KiB from 1 to 4194304");
        } else {
            (flag == "--block" ? options.blockSize : options.windowSize) = value << 10;
        }
    }
    args = rest;
    return options;
}

void PatchArchive(const std::string& oldPath, const std::string& patchPath,
                  const std::string& outputPath) {
    Progress progress("writing " + outputPath);
    try {
        PatchMixFile(oldPath, outputPath, patchPath, progress.Callback());
    } catch (const nlohmann::json::exception& error) {
        throw MixFormatError(patchPath, std::string("descriptor: ") + error.what());
    }
}

IdOverride ParseIdOverride(const std::string& assignment) {
    const std::size_t equals = assignment.rfind('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError("--id takes NAME=ID, not \"" + assignment + "\"");
    }
    return {assignment.substr(0, equals), ParseId(assignment.substr(equals + 1))};
}
