// Path helpers shared by every subsystem, so that the Windows build forms exactly
// "dir\name" and the native build "dir/name".
#pragma once

#include <string>

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// directory + separator + name; one separator is always inserted, and name may hold
// further "/"-separated segments, which are kept as they are.
std::string JoinPath(const std::string& directory, const std::string& name);

// The text after the last "\" or "/" (the whole path when it holds neither).
std::string FileNameOf(const std::string& path);

bool FileExists(const std::string& path);

// Removes a file; a missing file is no error. Returns false only when a file that
// exists could not be removed.
bool RemoveFileIfPresent(const std::string& path);
