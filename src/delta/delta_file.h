// Deltas between files on disk: made from two files, applied to one whole or not at all.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "delta/delta_format.h"
#include "delta/delta_writer.h"

// Writes the delta that rebuilds targetPath from basePath to deltaPath; its size.
// Raises FileSystemError when a file cannot be read or written.
std::uint64_t MakeDeltaFile(const std::string& basePath, const std::string& targetPath,
                            const std::string& deltaPath, const DeltaOptions& options = {});

// Rebuilds outputPath from basePath with the delta at deltaPath. The result is written
// beside outputPath and moved over it only once it has proved the SHA-256 the delta
// promises; before anything is written, accept sees the header and may raise to refuse
// it. Raises DeltaError for a delta that does not apply to this base, FileSystemError
// when the disk refuses; either way outputPath is as it was.
DeltaHeader ApplyDeltaFile(const std::string& basePath, const std::string& deltaPath,
                           const std::string& outputPath,
                           const std::function<void(const DeltaHeader&)>& accept = {});

// Whether the file at path begins as a delta does.
bool IsDeltaFile(const std::string& path);
