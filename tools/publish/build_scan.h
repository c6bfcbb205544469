// The files of a game build and their SHA-256 values, read once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "publish_progress.h"
#include "work_pool.h"

struct BuildFile {
    std::string checksum;  // SHA-256, 64 upper-case hexadecimal digits
    std::uint64_t size = 0;
};
using BuildFiles = std::map<std::string, BuildFile>;  // by "/" name below the build

// Every regular file below directory (none when it is absent), hashed by the workers.
// Raises PublishError naming the first file that cannot be read.
BuildFiles ScanBuild(const std::filesystem::path& directory, WorkPool& pool,
                     const ProgressSink& progress = {});

// Raises PublishError naming path when it cannot be read.
std::string FileHash(const std::filesystem::path& path);
