// The work behind each mixtool subcommand. Errors are raised as exceptions that
// name the file concerned; main turns them into one line on stderr.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "delta/delta_writer.h"

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
// With deltas, changed entries may travel as deltas of their old selves.
void DiffArchives(const std::string& oldArchive, const std::string& newArchive,
                  const std::string& patch, bool deltas = false, const DeltaOptions& options = {});
void MakeFileDelta(const std::string& oldFile, const std::string& newFile, const std::string& delta,
                   const DeltaOptions& options);
void ApplyFileDelta(const std::string& oldFile, const std::string& delta,
                    const std::string& output);
// Takes --block KIB, --window KIB and --level N out of args.
DeltaOptions TakeDeltaOptions(std::vector<std::string>& args);
void PatchArchive(const std::string& oldArchive, const std::string& patch,
                  const std::string& output);

// The id an entry gets from create when none is given: the CRC-32 (IEEE) of its
// name with ASCII letters in upper case.
std::uint32_t DefaultEntryId(const std::string& name);
