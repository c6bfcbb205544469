// Path helpers shared by every subsystem, so that the Windows build forms exactly
// "dir\name" and the native build "dir/name".
#pragma once

#include <string>

// "\" in the Windows build, "/" in the native one (defined beside the file system's calls).
extern const char kPathSeparator;

// directory + separator + name; one separator is always inserted, and name may hold
// further "/"-separated segments, which are kept as they are.
std::string JoinPath(const std::string& directory, const std::string& name);

// The text after the last "\" or "/" (the whole path when it holds neither).
std::string FileNameOf(const std::string& path);
