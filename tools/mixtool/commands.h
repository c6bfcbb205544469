// The work behind each mixtool subcommand. Errors are raised as exceptions that
// name the file concerned; main turns them into one line on stderr.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Anything the user asked for that cannot be done, outside any one file.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void ListArchive(const std::string& archive, bool tsv);
void ExtractArchive(const std::string& archive, const std::string& directory);

struct IdOverride {
    std::string name;
    std::uint32_t id;
};
// NAME=ID, the id in decimal or 0x-prefixed hex.
IdOverride ParseIdOverride(const std::string& assignment);
void CreateArchive(const std::string& archive, const std::vector<IdOverride>& ids,
                   const std::vector<std::string>& files);
void DiffArchives(const std::string& oldArchive, const std::string& newArchive,
                  const std::string& patch);
void PatchArchive(const std::string& oldArchive, const std::string& patch,
                  const std::string& output);

// The id an entry gets from create when none is given: the CRC-32 (IEEE) of its
// name with ASCII letters in upper case.
std::uint32_t DefaultEntryId(const std::string& name);
