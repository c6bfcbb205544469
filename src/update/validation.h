// Build validation: every file under a directory against manifest.validate.xml.
#pragma once

#include <string>
#include <vector>

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
// before its subdirectories, showing "Loading File " + name for each.
void LoadFiles(const std::string& root, const std::string& current, std::vector<FileChecksum>& list,
               ChecksumReader& reader);

// True when every file under directory has the checksum the manifest gives for its
// name (the root manifest.validate.xml excepted). Raises ValidationError for a file
// that cannot be read, InstallError for a manifest that is missing or malformed.
bool ValidateFiles(const std::string& manifestPath, const std::string& directory);
// The same, naming the manifest in messages by label ("manifest.validate.xml of version 1.2").
bool ValidateFiles(const std::string& manifestPath, const std::string& directory,
                   const std::string& label);
