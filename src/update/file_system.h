// The few file-system operations the engine needs on narrow (ANSI) paths, in both
// builds. Failures raise InstallError naming the path and the system's reason.
#pragma once

#include <string>
#include <vector>

enum class EntryKind { kMissing, kFile, kDirectory, kOther };

// What path is, following symbolic links as the system's own walk does.
EntryKind KindOf(const std::string& path);

// The names in a directory in the order the system lists them, without "." and "..".
std::vector<std::string> ListDirectory(const std::string& directory);

// Removes a directory and everything in it; a missing directory is no error. Links
// inside are removed as links: what they point to is never touched.
void RemoveTree(const std::string& directory);
// Removes everything inside directory except the entries named in keep.
void ClearDirectory(const std::string& directory, const std::vector<std::string>& keep = {});
// Creates one directory level; raises when it cannot be made (existing is an error).
void MakeDirectory(const std::string& directory);
// Creates directory and every missing level above it; an existing one is no error.
void MakeDirectories(const std::string& directory);
// Removes a file; a missing file is no error.
void RemoveFile(const std::string& path);
// Moves from over to in one step, replacing a file of that name; on failure both are
// as they were.
void RenameReplacing(const std::string& from, const std::string& to);
// Creates or truncates an empty file.
void CreateEmptyFile(const std::string& path);
// Replaces path with bytes whole or not at all (see WriteFileWhole).
void WriteWholeFile(const std::string& path, const std::string& bytes);
