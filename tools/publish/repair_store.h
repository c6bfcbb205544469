// The repair store: every distinct game file of every published version, once, so the
// launcher can fetch single files to mend a game folder. The object for a file whose
// SHA-256 is HASH (64 upper-case hexadecimal digits) is
// ROOT/launcher/store/<HASH's first two digits>/HASH.zip, a zip holding one entry named
// HASH with the file's bytes.
#pragma once

#include <filesystem>
#include <string>

#include "publisher.h"

// Where the object for the file whose SHA-256 is hash lies (the publisher writes it
// with the packages, zip_writer.h).
std::filesystem::path StoreObject(const std::filesystem::path& root, const std::string& hash);

// Copies the file the object holds to destination, checking its SHA-256 on the way;
// false, leaving nothing there, when the store lacks it or it holds other bytes.
bool CopyFromStore(const std::filesystem::path& root, const std::string& hash,
                   const std::filesystem::path& destination);

// "store": every file listed by a published version's manifest.validate.xml has an
// object holding its bytes, of the listed size where one is given.
ChainReport VerifyStore(const std::string& root);
