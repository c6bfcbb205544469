// The file system as the portable core sees it; posix/ and win32/ implement the system
// calls. Paths are UTF-8 in both builds: the Windows half converts them once and calls
// the wide functions, so a name in any script reaches the disk as it was published.
// The raising functions throw FileSystemError naming the path and the system's reason.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class FileSystemError : public std::runtime_error {
public:
    explicit FileSystemError(const std::string& text, int error = 0)
        : std::runtime_error(text), error(error) {}
    int error;  // the system's errno, 0 when none applies
};

enum class EntryKind { kMissing, kFile, kDirectory, kOther };

// What path is, following links as the system's own walk does.
EntryKind KindOf(const std::string& path);
bool FileExists(const std::string& path);

// A symbolic link, or on Windows any reparse point (junctions included).
bool IsLink(const std::string& path);
// Removes the link itself, never what it points to.
bool RemoveLink(const std::string& path);

// The size of a regular file, following links; nothing when path is not one.
std::optional<std::uint64_t> RegularFileSize(const std::string& path);
// The bytes this user may still write on the disk holding directory.
std::optional<std::uint64_t> FreeDiskSpace(const std::string& directory);

// The names in a directory in the order the system lists them, without "." and "..".
std::vector<std::string> ListDirectory(const std::string& directory);

// Removes a directory and everything in it; a missing directory is no error. Links
// inside are removed as links: what they point to is never touched.
void RemoveTree(const std::string& directory);
// Removes everything inside directory except the entries named in keep.
void ClearDirectory(const std::string& directory, const std::vector<std::string>& keep = {});
// Removes everything inside directory except the entries whose name keep accepts.
void ClearDirectory(const std::string& directory,
                    const std::function<bool(const std::string& name)>& keep);
// Creates one directory level; raises when it cannot be made (existing is an error).
void MakeDirectory(const std::string& directory);
// Creates directory and every missing level above it; an existing one is no error.
void MakeDirectories(const std::string& directory);
// Removes a file; a missing file is no error.
void RemoveFile(const std::string& path);
// As RemoveFile, reporting instead of raising: false only when a file that exists stays.
bool RemoveFileIfPresent(const std::string& path);

// Renames source over destination, replacing a file of that name in one step; false,
// with errno set and both as they were, when that is not possible.
bool MoveFileOver(const std::string& source, const std::string& destination);
// As MoveFileOver, raising on failure.
void RenameReplacing(const std::string& from, const std::string& to);

// Creates or truncates an empty file.
void CreateEmptyFile(const std::string& path);
// Replaces path with bytes whole or not at all (see WriteFileWhole).
void WriteWholeFile(const std::string& path, const std::string& bytes);

// The primitives the functions above are built on, reporting through errno.
namespace system_calls {
bool MakeOneDirectory(const std::string& directory);
bool RemoveEmptyDirectory(const std::string& directory);
bool RemovePlainFile(const std::string& path);
}  // namespace system_calls
