// The proof of what the launcher downloads. The three root documents (versions.xml,
// launcher.xml, servers.xml) carry a detached Ed25519 signature beside them, NAME.sig;
// everything else is proved by a chain of SHA-256 values from a signed document: the
// catalogue names each version's manifest and validation list, a manifest each package,
// launcher.xml the launcher, a validation list each store object. Every check is made
// right after the download and before the file is used.
//
// A build without release keys (a developer build) checks nothing here and fetches no
// signature: it installs what TLS delivers, as before signing existed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/downloader.h"
#include "update/documents.h"
#include "update/download_service.h"
#include "update/install_layout.h"
#include "update/update_error.h"

using ReleaseKey = std::array<std::uint8_t, 32>;

inline constexpr char kSignatureSuffix[] = ".sig";

// The keys this build accepts: KESTRAVA_RELEASE_KEYS, until a test or the publisher's
// verify puts others in their place.
const std::vector<ReleaseKey>& ReleaseKeys();
void SetReleaseKeys(std::vector<ReleaseKey> keys);
bool ReleasesSigned();

// 64 hexadecimal digits, either case.
std::optional<ReleaseKey> ParseReleaseKey(const std::string& hex);
std::string LowerHex(const std::uint8_t* bytes, std::size_t count);

// Whether signatures (the text of a .sig file: a line "KEY SIGNATURE" in hexadecimal for
// each signer) holds a valid signature of document by one of keys. Lines it cannot read
// are skipped, so a file may also carry signatures by keys this build does not know.
bool SignedByAny(const std::string& document, const std::string& signatures,
                 const std::vector<ReleaseKey>& keys);

// Fetches fileName + ".sig" and then fileName from baseUrl into directory. With release
// keys, a document that arrived without a valid signature is removed and raises
// VerificationError naming label; the signature file never stays. Returns the
// document's transfer, which the caller judges as it would an unsigned one.
TransferOutcome FetchSigned(const std::string& baseUrl, const std::string& directory,
                            const std::string& fileName, const std::string& label);

// With release keys, raises VerificationError naming label unless the file at path has
// the signed SHA-256 (which must be given) and size (when given).
// Raises the VerificationError of a file, named by label, that the signed release contradicts.
[[noreturn]] void RefuseAsUnsigned(const std::string& label);

void RequireSignedContent(const std::string& path, const FileFacts& facts,
                          const std::string& label);
// Whether the file has the size and SHA-256 that facts give (either may be absent).
bool FileMatches(const std::string& path, const FileFacts& facts);

// With release keys, raises VerificationError unless the signed document at path has a
// root "Serial" no lower than the highest the installation has accepted, and an
// "Expires" (when given) still ahead. remember makes serial the highest accepted; the
// catalogue's acceptance does.
void RequireFresh(const std::string& path, const char* rootElement, const InstallLayout& layout,
                  const std::string& label, bool remember);

// "2026-12-09T10:00:00Z" and back, in seconds since 1970 (UTC).
std::optional<std::int64_t> ParseUtcTime(const std::string& text);
std::string FormatUtcTime(std::int64_t seconds);

// The player's message for a refusal; changed tells whether the game folder had been
// touched before the refusal came.
std::string VerificationMessage(const VerificationError& error, bool changed);
inline constexpr char kVerificationCaption[] = "Download Not Verified";
