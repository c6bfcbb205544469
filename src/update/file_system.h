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

// Removes a directory and everything in it; a missing directory is no error.
void RemoveTree(const std::string& directory);
// Creates one directory level; raises when it cannot be made (existing is an error).
void MakeDirectory(const std::string& directory);
// Removes a file; a missing file is no error.
void RemoveFile(const std::string& path);
// Renames from to to, replacing a file of that name.
void RenameReplacing(const std::string& from, const std::string& to);
// Creates or truncates an empty file.
void CreateEmptyFile(const std::string& path);
