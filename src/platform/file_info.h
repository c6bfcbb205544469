// What the portable core needs to know of a path beyond stdio, one implementation per
// system: links (never followed when clearing a folder) and 64-bit file sizes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

// A symbolic link, or on Windows any reparse point (junctions included).
bool IsLink(const std::string& path);
// Removes the link itself, never what it points to.
bool RemoveLink(const std::string& path);

// The size of a regular file, following links; nothing when path is not one.
std::optional<std::uint64_t> RegularFileSize(const std::string& path);

// Pushes what the system holds of an open file to the disk, so that a file renamed
// into place afterwards survives a power cut whole.
bool FlushToDisk(std::FILE* file);
