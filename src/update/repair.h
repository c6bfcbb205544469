// Repair: brings the game folder to exactly what a validation report asks for, fetching
// only the files that are missing or changed from the release tree's store, where each
// distinct file lies once, compressed, under its SHA-256.
#pragma once

#include <string>

#include "update/install_layout.h"
#include "update/validation.h"

enum class RepairResult {
    kRepaired,
    kNoStore,  // the tree has no usable copy of some file: only a clean install can help
};

// Removes the unexpected files and puts every missing or changed one in place, each
// checked against its SHA-256 (and size) before it is moved into the game folder.
// Raises InstallError when the server cannot be reached or the disk refuses a write.
RepairResult RepairGame(const InstallLayout& layout, const ValidationReport& report,
                        const std::string& label);

// The store object of a file: base + "store/" + its first two digits + "/" + checksum + ".zip".
std::string StoreObjectUrl(const std::string& checksum);
