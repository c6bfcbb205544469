// Release signing, which may run apart from publishing, on a machine that holds the
// secret key and nothing else of value. The three root documents get a detached
// signature beside them (versions.xml.sig, launcher.xml.sig, servers.xml.sig: one line
// "PUBLIC-KEY SIGNATURE" in hexadecimal per key), and everything else is bound to them by
// SHA-256 values written into the documents as attributes a launcher without keys ignores:
//   versions.xml   root Serial, Expires; each Version ManifestSha256, ValidateSha256
//   manifest.xml   each File packageSha256, packageSize (its package's zip)
//   launcher.xml   root Serial, Expires; size, sha256 of launcher.exe
//   servers.xml    root Serial, Expires
// The serial rises with every signing (to the clock's seconds at least, so a tree signed
// afresh still outranks an older one); launchers refuse one lower than they have seen.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "publisher.h"
#include "update/signed_release.h"

// libsodium's secret key: the seed followed by the public key.
using SecretKey = std::array<std::uint8_t, 64>;

// Writes a new secret key to path, readable by its owner only, never over an existing
// file; returns the public key as the build takes it (64 hexadecimal digits).
std::string GenerateKey(const std::string& path);
SecretKey LoadSecretKey(const std::string& path);
ReleaseKey PublicKeyOf(const SecretKey& key);

struct SigningOptions {
    std::vector<SecretKey> keys;
    std::optional<int> expiresInDays;  // none: the release never expires
};

// Signs the tree as it stands: records the hashes above (none for a file the tree
// lacks, which launchers then refuse), raises the serial, sets or clears the expiry and
// writes each document and its signature whole.
void SignTree(const std::string& root, const SigningOptions& options);

// "signatures": every root document present carries a valid signature by one of keys
// and a serial, none has expired, and every hash the documents give matches its file.
ChainReport VerifySignatures(const std::string& root, const std::vector<ReleaseKey>& keys);
