// Unpacking a package zip into the game directory.
#pragma once

#include <string>

enum ExtractZipCode : int {
    kExtractOk = 0,
    kExtractOpenFailed = -1,
    kExtractBadName = -2,  // the directory or a destination is too long, or an entry has no name
    kExtractStatFailed = -3,
    kExtractWriteFailed = -19,  // includes data that fails its CRC check
    kExtractNoArgument = -22,
    kExtractMakeDirectoryFailed = -23,
    kExtractCloseFailed = -25,
    kExtractUnsafeName = -26,  // a name Windows would read as a drive, stream or device
    kExtractDiskFull = -28,    // an entry could not be written: the disk is full
};

// Writes every entry of the zip at zipPath below directory, in central-directory order.
// Entry names are confined to directory; symbolic links are skipped. Each file is
// written whole to a temporary file in stagingDirectory (beside its destination when
// none is given), checked, and only then moved over the destination, so a failure
// never leaves a file half-written. Returns 0 or one of the codes above; entries
// written before a failure stay in place.
int ExtractZip(const char* zipPath, const char* directory,
               const char* stagingDirectory = nullptr);

// The fault behind a code, as a phrase for a message.
std::string ExtractZipFault(int code);

// Whether one component of an entry's name could reach beyond its folder on Windows:
// it holds ":" , is a device name (CON, NUL, COM1, LPT1.txt...), or ends in a dot or a space.
bool IsUnsafeNameComponent(const std::string& component);
