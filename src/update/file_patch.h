// Applying one patch file of a version to its game file: a MIX patch archive to an
// archive, or a delta to any file, told apart by their first bytes.
#pragma once

#include <string>

// Writes the patched file to output (a path in the work folder); source is left as it
// was. A delta's result must be the file the manifest names by checksum (its SHA-256) and
// fit the disk, both known before anything is written. Raises on any failure, with output
// neither created nor changed.
void PatchGameFile(const std::string& source, const std::string& output,
                   const std::string& patchPath, const std::string& checksum);
