#include "update/validation.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "platform/file_io.h"
#include "platform/path.h"
#include "platform/status_sink.h"
#include "update/documents.h"
#include "update/file_system.h"
#include "update/sha256.h"
#include "update/update_error.h"

namespace {

constexpr std::size_t kChunk = 1 << 20;


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

bool ValidateFiles(const std::string& manifestPath, const std::string& directory) {
    return ValidateFiles(manifestPath, directory, FileNameOf(manifestPath));
}

bool ValidateFiles(const std::string& manifestPath, const std::string& directory,
                   const std::string& label) {
    std::vector<FileChecksum> list;
    ChecksumReader reader;
    LoadFiles(directory, directory, list, reader);

    Status().SetStatusText("Validating Files");
    const auto table = LoadValidationManifest(manifestPath, label);
    for (const FileChecksum& file : list) {
        if (file.name == "manifest.validate.xml") continue;
        const auto listed = table.find(file.name);
        const std::string expected = listed == table.end() ? std::string() : listed->second;
        if (expected != file.checksum) return false;
    }
    return true;
}
