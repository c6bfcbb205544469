#include "update/validation.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <set>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/status_sink.h"
#include "update/documents.h"
#include "update/sha256.h"
#include "update/update_error.h"

namespace {

constexpr std::size_t kChunk = 1 << 20;
constexpr char kManifestName[] = "manifest.validate.xml";

std::string RelativeName(const std::string& root, const std::string& fullPath) {
    std::string name = fullPath.substr(root.size() + 1);
    for (char& c : name) {
        if (c == '\\') c = '/';
    }
    return name;
}

}  // namespace

ChecksumReader::ChecksumReader() : buffer_(kChunk) {}

FileChecksum ChecksumReader::Read(const std::string& root, const std::string& fullPath) {
    FileChecksum record;
    record.path = fullPath;
    record.name = RelativeName(root, fullPath);
    UniqueFile file = OpenFile(fullPath, "rb");
    if (!file) {
        throw ValidationError("The file " + record.name + " could not be read (" +
                              ErrnoText(errno) + ").");
    }
    Sha256 hash;
    for (;;) {
        const std::size_t got = std::fread(buffer_.data(), 1, buffer_.size(), file.get());
        hash.Update(buffer_.data(), got);
        if (got < buffer_.size()) break;
    }
    if (std::ferror(file.get())) {
        throw ValidationError("The file " + record.name + " could not be read (" +
                              ErrnoText(errno) + ").");
    }
    record.checksum = ToUpperHex(hash.Final());
    return record;
}

void LoadFiles(const std::string& root, const std::string& current, std::vector<FileChecksum>& list,
               ChecksumReader& reader) {
    std::vector<std::string> directories;
    for (const std::string& entry : ListDirectory(current)) {
        const std::string fullPath = JoinPath(current, entry);
        const EntryKind kind = KindOf(fullPath);
        if (kind == EntryKind::kFile) {
            Status().SetStatusText("Loading File " + entry);
            list.push_back(reader.Read(root, fullPath));
        } else if (kind == EntryKind::kDirectory) {
            directories.push_back(entry);
        }
    }
    for (const std::string& directory : directories) {
        LoadFiles(root, JoinPath(current, directory), list, reader);
    }
}

ValidationReport ValidateBuild(const std::string& manifestPath, const std::string& directory,
                               const std::string& label) {
    std::vector<FileChecksum> found;
    ChecksumReader reader;
    LoadFiles(directory, directory, found, reader);

    Status().SetStatusText("Validating Files");
    ValidationReport report;
    report.listed = LoadValidationManifest(manifestPath, label);
    const bool manifestInside = manifestPath == JoinPath(directory, kManifestName);
    std::set<std::string> seen;
    for (const FileChecksum& file : found) {
        if (manifestInside && file.name == kManifestName) continue;
        seen.insert(file.name);
        const auto listed = report.listed.find(file.name);
        if (listed == report.listed.end()) {
            report.problems.push_back({file.name, FileProblemKind::kUnexpected});
        } else if (listed->second.checksum != file.checksum) {
            report.problems.push_back({file.name, FileProblemKind::kChanged});
        }
    }
    for (const auto& [name, file] : report.listed) {
        if (seen.count(name) == 0) report.problems.push_back({name, FileProblemKind::kMissing});
    }
    return report;
}

std::string ValidationReport::Describe(std::size_t most) const {
    static const char* const kKinds[] = {"missing", "changed", "unexpected"};
    std::string text;
    for (std::size_t i = 0; i < problems.size() && i < most; ++i) {
        if (!text.empty()) text += "\n";
        text += std::string(kKinds[static_cast<int>(problems[i].kind)]) + ": " + problems[i].name;
    }
    if (problems.size() > most) {
        text += "\n... and " + std::to_string(problems.size() - most) + " more";
    }
    return text;
}

bool ValidateFiles(const std::string& manifestPath, const std::string& directory) {
    return ValidateFiles(manifestPath, directory, FileNameOf(manifestPath));
}

bool ValidateFiles(const std::string& manifestPath, const std::string& directory,
                   const std::string& label) {
    return ValidateBuild(manifestPath, directory, label).ok();
}

bool ListedFilesPresent(const ValidationList& listed, const std::string& directory) {
    for (const auto& [name, file] : listed) {
        const auto size = RegularFileSize(JoinPath(directory, name));
        if (!size || (file.size && *file.size != *size)) return false;
    }
    return true;
}
