// The repair store: every distinct game file of every published version, once, so the
// launcher can fetch single files to mend a game folder. The object for a file whose
// SHA-256 is HASH (64 upper-case hexadecimal digits) is
// ROOT/launcher/store/<HASH's first two digits>/HASH.zip, a zip holding one entry named
// HASH with the file's bytes.
#pragma once

#include <filesystem>
#include <string>

#include "publisher.h"

// Writes the object for file, whose SHA-256 is hash, unless the store has it already.
void AddToStore(const std::filesystem::path& root, const std::string& hash,
                const std::filesystem::path& file);

// "store": every file listed by a published version's manifest.validate.xml has an
// object holding its bytes, of the listed size where one is given.
ChainReport VerifyStore(const std::string& root);
