#include "update/signed_release.h"

#include <sodium.h>

#include <cstdio>
#include <ctime>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "release_keys.h"
#include "update/download_service.h"
#include "update/install_layout.h"
#include "update/validation.h"
#include "update/xml_attribute.h"

namespace {

constexpr char kNotSigned[] = "the server sent files that are not signed by Kestrava";
constexpr char kRolledBack[] =
    "the server sent an older release than this launcher has already seen";
constexpr char kExpired[] = "the server sent a release whose signature has expired";
// Far more than any number of signers needs; a larger file is not read.
constexpr std::size_t kMaxSignatureFile = 16 * 1024;

std::vector<ReleaseKey> BuiltInKeys() {
    std::vector<ReleaseKey> keys;
    for (const char* hex : {KESTRAVA_RELEASE_KEYS_HEX static_cast<const char*>(nullptr)}) {
        if (hex == nullptr) continue;
        if (auto key = ParseReleaseKey(hex)) keys.push_back(*key);
    }
    return keys;
}

std::vector<ReleaseKey>& Keys() {
    static std::vector<ReleaseKey> keys = BuiltInKeys();
    return keys;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHex(const std::string& hex, std::uint8_t* bytes, std::size_t count) {
    if (hex.size() != count * 2) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const int high = HexDigit(hex[2 * i]);
        const int low = HexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

bool SignatureLineValid(const std::string& line, const std::string& document,
                        const std::vector<ReleaseKey>& keys) {
    const auto space = line.find(' ');
    if (space == std::string::npos) return false;
    const auto key = ParseReleaseKey(line.substr(0, space));
    std::uint8_t signature[crypto_sign_BYTES];
    if (!key || !ParseHex(line.substr(space + 1), signature, sizeof signature)) return false;
    bool known = false;
    for (const ReleaseKey& accepted : keys) known = known || accepted == *key;
    return known && crypto_sign_verify_detached(
                        signature, reinterpret_cast<const unsigned char*>(document.data()),
                        document.size(), key->data()) == 0;
}

std::optional<std::uint64_t> ParseSerial(const std::string& text) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

}  // namespace

const std::vector<ReleaseKey>& ReleaseKeys() { return Keys(); }

void SetReleaseKeys(std::vector<ReleaseKey> keys) { Keys() = std::move(keys); }

bool ReleasesSigned() { return !Keys().empty(); }

std::optional<ReleaseKey> ParseReleaseKey(const std::string& hex) {
    ReleaseKey key{};
    if (!ParseHex(hex, key.data(), key.size())) return std::nullopt;
    return key;
}

std::string LowerHex(const std::uint8_t* bytes, std::size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < count; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 15];
    }
    return hex;
}

bool SignedByAny(const std::string& document, const std::string& signatures,
                 const std::vector<ReleaseKey>& keys) {
    static const bool ready = sodium_init() >= 0;
    if (!ready || signatures.size() > kMaxSignatureFile) return false;
    std::size_t start = 0;
    while (start < signatures.size()) {
        std::size_t end = signatures.find('\n', start);
        if (end == std::string::npos) end = signatures.size();
        std::string line = signatures.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (SignatureLineValid(line, document, keys)) return true;
        start = end + 1;
    }
    return false;
}

TransferOutcome FetchSigned(const std::string& baseUrl, const std::string& directory,
                            const std::string& fileName, const std::string& label) {
    if (!ReleasesSigned()) return DownloadFile(baseUrl, directory, fileName);
    const std::string path = JoinPath(directory, fileName);
    const std::string signaturePath = path + kSignatureSuffix;
    // The signature first, so the status text ends on the document's own name.
    DownloadFile(baseUrl, directory, fileName + kSignatureSuffix);
    const TransferOutcome result = DownloadFile(baseUrl, directory, fileName);
    const auto signatures = ReadFileBytes(signaturePath);
    RemoveFileIfPresent(signaturePath);
    if (result != TransferResult::kCompleted) return result;
    const auto document = ReadFileBytes(path);
    if (!document || !signatures || !SignedByAny(*document, *signatures, ReleaseKeys())) {
        RemoveFileIfPresent(path);
        throw VerificationError(kNotSigned, label + " has no valid signature.");
    }
    return result;
}

bool FileMatches(const std::string& path, const FileFacts& facts) {
    if (facts.size && RegularFileSize(path) != facts.size) return false;
    if (!facts.sha256) return true;
    if (!RegularFileSize(path)) return false;
    ChecksumReader reader;
    const std::string folder = path.substr(0, path.find_last_of("/\\"));
    return reader.Read(folder, path).checksum == *facts.sha256;
}

void RequireSignedContent(const std::string& path, const FileFacts& facts,
                          const std::string& label) {
    if (!ReleasesSigned()) return;
    if (!facts.sha256)
        throw VerificationError(kNotSigned, label + " is not named by a signed hash.");
    if (!FileMatches(path, facts)) RefuseAsUnsigned(label);
}

void RefuseAsUnsigned(const std::string& label) {
    throw VerificationError(kNotSigned, label + " differs from the signed release.");
}

void RequireFresh(const std::string& path, const char* rootElement, const InstallLayout& layout,
                  const std::string& label, bool remember) {
    if (!ReleasesSigned()) return;
    const auto serialText = ReadRootAttribute(path, rootElement, "Serial");
    const auto serial = serialText ? ParseSerial(*serialText) : std::nullopt;
    if (!serial) throw VerificationError(kNotSigned, label + " carries no release serial.");
    const std::string& serialPath = layout.serial;
    const auto stored = ReadFileBytes(serialPath);
    const std::uint64_t highest = stored ? ParseSerial(*stored).value_or(0) : 0;
    if (*serial < highest) {
        throw VerificationError(kRolledBack, label + " has serial " + std::to_string(*serial) +
                                                 "; this launcher has seen " +
                                                 std::to_string(highest) + ".");
    }
    if (const auto expiresText = ReadRootAttribute(path, rootElement, "Expires")) {
        const auto expires = ParseUtcTime(*expiresText);
        if (!expires) throw VerificationError(kNotSigned, label + " has an unreadable expiry.");
        if (static_cast<std::int64_t>(std::time(nullptr)) >= *expires)
            throw VerificationError(kExpired, label + " expired at " + *expiresText + ".");
    }
    if (remember && *serial > highest) WriteWholeFile(serialPath, std::to_string(*serial));
}

std::optional<std::int64_t> ParseUtcTime(const std::string& text) {
    int year, month, day, hour, minute, second;
    char zone = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%n", &year, &month, &day, &hour,
                    &minute, &second, &zone, &consumed) != 7 ||
        zone != 'Z' || static_cast<std::size_t>(consumed) != text.size() || month < 1 ||
        month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 || hour < 0 ||
        minute < 0 || second < 0) {
        return std::nullopt;
    }
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
           hour * 3600 + minute * 60 + second;
}

std::string FormatUtcTime(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // The inverse of DaysFromCivil.
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const unsigned month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(year), month, day, static_cast<long long>(rest / 3600),
                  static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
    return text;
}

std::string VerificationMessage(const VerificationError& error, bool changed) {
    std::string text = "The download could not be verified: " + error.reason;
    text += changed ? ". The game was left part-way; the next update will finish or repair it."
                    : "; nothing was changed.";
    return text + "\n\n" + error.what();
}
