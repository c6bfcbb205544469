// Zips the publisher writes: entries sorted by name, deflated, all dated 1980-01-01
// 00:00 with UNIX mode 0644, so the same files always give the same bytes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ZipMember {
    std::string name;  // the entry's name in the archive
    std::filesystem::path source;
};

// Raises PublishError when a source cannot be read or the archive cannot be written.
void WriteZip(const std::filesystem::path& zipPath, std::vector<ZipMember> members);
// Each name, "/"-separated and relative to sourceDir, becomes the entry of that name.
void WriteZip(const std::filesystem::path& zipPath, const std::filesystem::path& sourceDir,
              const std::vector<std::string>& names);
