// Build validation: every file under a directory against manifest.validate.xml.
#pragma once

#include <string>
#include <vector>

#include "update/documents.h"

struct FileChecksum {
    std::string path;      // full path, as the walk formed it
    std::string checksum;  // SHA-256, 64 upper-case hexadecimal digits
    std::string name;      // relative to the validated directory, "/"-separated
};

// Hashes files in chunks through one buffer, so a file of any size needs no more memory.
class ChecksumReader {
public:
    ChecksumReader();
    // Raises ValidationError naming the file when it cannot be read.
    FileChecksum Read(const std::string& root, const std::string& fullPath);

private:
    std::vector<unsigned char> buffer_;
};

// Appends a FileChecksum for every regular file below current, a directory's own files
// before its subdirectories. The files are hashed on WorkerThreadCount() threads (each
// eight at a time where Sha256LanesPay); the calling thread shows "Loading File " + name for
// each as it is done. A file that cannot
// be read stops the others and raises its ValidationError (the first in walk order, when
// several fail before they stop).
void LoadFiles(const std::string& root, const std::string& current,
               std::vector<FileChecksum>& list);

enum class FileProblemKind { kMissing, kChanged, kUnexpected };

struct FileProblem {
    std::string name;  // "/"-separated, relative to the validated directory
    FileProblemKind kind;
};

struct ValidationReport {
    ValidationList listed;              // what the manifest asks for
    std::vector<FileProblem> problems;  // walk order, then the missing ones in name order
    bool ok() const { return problems.empty(); }
    // "Missing: a.txt; changed: b.txt; ...", naming at most `most` files.
    std::string Describe(std::size_t most = 5) const;
};

// Every file under directory against the manifest: each listed file must be there with
// its checksum, and nothing else may be. The manifest itself is exempt when it lies at
// the root of directory. Raises ValidationError for a file that cannot be read,
// InstallError for a manifest that is missing or malformed.
ValidationReport ValidateBuild(const std::string& manifestPath, const std::string& directory,
                               const std::string& label);

// True when ValidateBuild finds nothing wrong.
bool ValidateFiles(const std::string& manifestPath, const std::string& directory);
bool ValidateFiles(const std::string& manifestPath, const std::string& directory,
                   const std::string& label);

// The quick look at start-up: every listed file is a regular file of its listed size
// (when the list gives one). Nothing is read, so it misses same-size changes.
bool ListedFilesPresent(const ValidationList& listed, const std::string& directory);
