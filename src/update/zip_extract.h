// Unpacking a package zip into the game directory.
#pragma once

#include <cstdint>
#include <string>

enum ExtractZipCode : int {
    kExtractOk = 0,
    kExtractOpenFailed = -1,
    kExtractBadName = -2,  // an entry has no name
    kExtractStatFailed = -3,
    kExtractWriteFailed = -19,  // includes data that fails its CRC check
    kExtractNoArgument = -22,
    kExtractMakeDirectoryFailed = -23,
    kExtractCloseFailed = -25,
    kExtractUnsafeName = -26,  // a name the file-system layer refuses, or two that collide
    kExtractBadEntry = -27,    // a folder entry holding data
    kExtractDiskFull = -28,    // the disk is full, or has less room than the package needs
    kExtractTooLarge = -29,    // it expands past the limit, or an entry past its declared size
};

// What one package may expand to. Game packages hold one top-level folder of a build.
inline constexpr std::uint64_t kMaxExpandedBytes = std::uint64_t{16} << 30;

// Writes every entry of the zip at zipPath below directory, in central-directory order.
// Nothing is written before every entry has been checked: its name through the
// file-system layer (see confined_name.h), no two names landing on one file, folders
// without data, and the sizes the central directory declares against maxExpanded and
// the free space. Symbolic links are skipped. Each file is written whole to a temporary
// file in stagingDirectory (beside its destination when none is given), checked, and
// only then moved over the destination, so a failure never leaves a file half-written.
// Returns 0 or one of the codes above, with the entry concerned in detail; entries
// written before a failure stay in place.
int ExtractZip(const char* zipPath, const char* directory, const char* stagingDirectory = nullptr,
               std::string* detail = nullptr, std::uint64_t maxExpanded = kMaxExpandedBytes);

// The fault behind a code, as a phrase for a message, followed by detail when given.
std::string ExtractZipFault(int code, const std::string& detail = "");
