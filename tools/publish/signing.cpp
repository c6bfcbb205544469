#include "signing.h"

#include <fcntl.h>
#include <sodium.h>
#include <tinyxml2.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>

#include "platform/file_io.h"
#include "update/validation.h"

#ifdef _WIN32
#include <io.h>

#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr char kKeyHeader[] = "# kestrava release secret key; keep it offline. Public key: ";

struct SignedDocument {
    const char* path;  // below the root
    const char* root;  // its root element
};
constexpr SignedDocument kDocuments[] = {
    {"launcher/versions.xml", "Versions"},
    {"update/launcher.xml", "Version"},
    {"launcher/servers.xml", "Servers"},
};

void RequireSodium() {
    if (sodium_init() < 0) throw PublishError("libsodium could not be initialised");
}

std::string Hash(const fs::path& path) {
    ChecksumReader reader;
    try {
        return reader.Read(path.parent_path().string(), path.string()).checksum;
    } catch (const ValidationError& error) {
        throw PublishError(error.what());
    }
}

void Load(tinyxml2::XMLDocument& document, const fs::path& path) {
    if (document.LoadFile(path.string().c_str()) != tinyxml2::XML_SUCCESS)
        throw PublishError(path.string() + " is not a readable XML document");
}

std::string Print(const tinyxml2::XMLDocument& document) {
    tinyxml2::XMLPrinter printer;
    document.Print(&printer);
    return std::string(printer.CStr(), static_cast<std::size_t>(printer.CStrSize() - 1));
}

void WriteWhole(const fs::path& path, const std::string& bytes) {
    if (const int error = WriteFileWhole(path.string(), bytes))
        throw PublishError("cannot write " + path.string() + ": " + DescribeErrno(error));
}

void SetOrClear(tinyxml2::XMLElement* element, const char* name,
                const std::optional<std::string>& value) {
    if (value) {
        element->SetAttribute(name, value->c_str());
    } else {
        element->DeleteAttribute(name);
    }
}

std::optional<std::uint64_t> SerialOf(const fs::path& path, const char* rootName) {
    tinyxml2::XMLDocument document;
    if (!fs::exists(path) || document.LoadFile(path.string().c_str()) != tinyxml2::XML_SUCCESS)
        return std::nullopt;
    const tinyxml2::XMLElement* root = document.FirstChildElement(rootName);
    std::uint64_t serial = 0;
    if (root == nullptr ||
        root->QueryUnsigned64Attribute("Serial", &serial) != tinyxml2::XML_SUCCESS)
        return std::nullopt;
    return serial;
}

std::string Signatures(const std::string& bytes, const std::vector<SecretKey>& keys) {
    std::string lines;
    for (const SecretKey& key : keys) {
        unsigned char signature[crypto_sign_BYTES];
        crypto_sign_detached(signature, nullptr,
                             reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                             key.data());
        const ReleaseKey publicKey = PublicKeyOf(key);
        lines += LowerHex(publicKey.data(), publicKey.size()) + " " +
                 LowerHex(signature, sizeof signature) + "\n";
    }
    return lines;
}

// The version folders the catalogue names, with a visitor per version element.
void ForEachVersion(tinyxml2::XMLElement* catalogue,
                    const std::function<void(tinyxml2::XMLElement&, const std::string&)>& visit) {
    for (tinyxml2::XMLElement* version = catalogue->FirstChildElement("Version");
         version != nullptr; version = version->NextSiblingElement("Version")) {
        if (const char* value = version->Attribute("Value")) visit(*version, value);
    }
}

// Each File of manifest.xml gets its package's zip hash and size.
void RecordPackages(const fs::path& versionDir) {
    const fs::path path = versionDir / "manifest.xml";
    if (!fs::exists(path)) return;
    // One the launcher cannot read is signed as it stands: it refuses it all the same.
    tinyxml2::XMLDocument manifest;
    if (manifest.LoadFile(path.string().c_str()) != tinyxml2::XML_SUCCESS) return;
    tinyxml2::XMLElement* root = manifest.FirstChildElement("Game_Manifest");
    if (root == nullptr) return;
    std::map<std::string, std::string> hashes;  // a package's many files hash it once
    for (tinyxml2::XMLElement* file = root->FirstChildElement("File"); file != nullptr;
         file = file->NextSiblingElement("File")) {
        const char* package = file->Attribute("package");
        const char* checksum = file->Attribute("checksum");
        if (package == nullptr || *package == '\0' || checksum == nullptr || *checksum == '\0')
            continue;
        // A package the tree lacks gets no hash: launchers refuse it, and verify names it.
        const fs::path zip = versionDir / (std::string(package) + ".zip");
        if (!fs::is_regular_file(zip)) {
            file->DeleteAttribute("packageSha256");
            file->DeleteAttribute("packageSize");
            continue;
        }
        auto hash = hashes.find(package);
        if (hash == hashes.end()) hash = hashes.emplace(package, Hash(zip)).first;
        file->SetAttribute("packageSha256", hash->second.c_str());
        file->SetAttribute("packageSize", std::to_string(fs::file_size(zip)).c_str());
    }
    WriteWhole(path, Print(manifest));
}

std::optional<std::string> HashIfPresent(const fs::path& path) {
    if (!fs::exists(path)) return std::nullopt;
    return Hash(path);
}

}  // namespace

std::string GenerateKey(const std::string& path) {
    RequireSodium();
    SecretKey secret{};
    ReleaseKey publicKey{};
    crypto_sign_keypair(publicKey.data(), secret.data());
    const std::string publicHex = LowerHex(publicKey.data(), publicKey.size());
    const std::string text = std::string(kKeyHeader) + publicHex + "\n" +
                             LowerHex(secret.data(), crypto_sign_SEEDBYTES) + "\n";
    sodium_memzero(secret.data(), secret.size());
#ifdef _WIN32
    const int descriptor =
        _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
#endif
    if (descriptor < 0) {
        throw PublishError("cannot create " + path + ": " +
                           (errno == EEXIST
                                ? std::string("it exists already; a key is never overwritten")
                                : DescribeErrno(errno)));
    }
    UniqueFile file(fdopen(descriptor, "wb"));
    if (!file || std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
        std::fclose(file.release()) != 0) {
        std::remove(path.c_str());
        throw PublishError("cannot write " + path);
    }
    return publicHex;
}

SecretKey LoadSecretKey(const std::string& path) {
    RequireSodium();
    const auto bytes = ReadFileBytes(path);
    if (!bytes) throw PublishError("cannot read the key " + path);
    std::string seedHex;
    std::size_t start = 0;
    while (start < bytes->size()) {
        std::size_t end = bytes->find('\n', start);
        if (end == std::string::npos) end = bytes->size();
        std::string line = bytes->substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] != '#') seedHex = line;
        start = end + 1;
    }
    // A seed has the form of a public key: 32 bytes in hexadecimal.
    const auto seed = ParseReleaseKey(seedHex);
    if (!seed) throw PublishError(path + " is not a secret key written by keygen");
    SecretKey secret{};
    ReleaseKey publicKey{};
    crypto_sign_seed_keypair(publicKey.data(), secret.data(), seed->data());
    return secret;
}

ReleaseKey PublicKeyOf(const SecretKey& key) {
    ReleaseKey publicKey{};
    crypto_sign_ed25519_sk_to_pk(publicKey.data(), key.data());
    return publicKey;
}

void SignTree(const std::string& rootText, const SigningOptions& options) {
    RequireSodium();
    if (options.keys.empty()) throw PublishError("signing needs a key");
    const fs::path root(rootText);
    std::uint64_t serial = static_cast<std::uint64_t>(std::time(nullptr));
    bool any = false;
    for (const SignedDocument& document : kDocuments) {
        any = any || fs::exists(root / document.path);
        if (const auto previous = SerialOf(root / document.path, document.root))
            serial = std::max(serial, *previous + 1);
    }
    if (!any) throw PublishError("nothing to sign under " + rootText);
    std::optional<std::string> expires;
    if (options.expiresInDays) {
        expires = FormatUtcTime(static_cast<std::int64_t>(std::time(nullptr)) +
                                std::int64_t{*options.expiresInDays} * 86400);
    }

    for (const SignedDocument& signedDocument : kDocuments) {
        const fs::path path = root / signedDocument.path;
        if (!fs::exists(path)) continue;
        tinyxml2::XMLDocument document;
        Load(document, path);
        tinyxml2::XMLElement* element = document.FirstChildElement(signedDocument.root);
        if (element == nullptr)
            throw PublishError(path.string() + " has no " + signedDocument.root + " element");
        if (std::string(signedDocument.root) == "Versions") {
            ForEachVersion(element, [&](tinyxml2::XMLElement& version, const std::string& value) {
                const fs::path versionDir = root / "launcher" / fs::u8path(value);
                RecordPackages(versionDir);
                SetOrClear(&version, "ManifestSha256", HashIfPresent(versionDir / "manifest.xml"));
                SetOrClear(&version, "ValidateSha256",
                           HashIfPresent(versionDir / "manifest.validate.xml"));
            });
        } else if (std::string(signedDocument.root) == "Version") {
            const fs::path executable = path.parent_path() / "launcher.exe";
            const bool present = fs::is_regular_file(executable);
            SetOrClear(
                element, "size",
                present ? std::optional(std::to_string(fs::file_size(executable))) : std::nullopt);
            SetOrClear(element, "sha256", present ? std::optional(Hash(executable)) : std::nullopt);
        }
        element->SetAttribute("Serial", std::to_string(serial).c_str());
        SetOrClear(element, "Expires", expires);
        const std::string bytes = Print(document);
        WriteWhole(path, bytes);
        WriteWhole(path.string() + kSignatureSuffix, Signatures(bytes, options.keys));
    }
}

ChainReport VerifySignatures(const std::string& rootText, const std::vector<ReleaseKey>& keys) {
    const fs::path root(rootText);
    std::vector<std::string> problems;
    const auto check = [&](const fs::path& path, const std::optional<std::string>& sha256,
                           const std::optional<std::string>& size) {
        const std::string name = path.lexically_relative(root).generic_string();
        if (!fs::is_regular_file(path)) {
            problems.push_back(name + " is missing");
        } else if (!sha256) {
            problems.push_back(name + " has no signed SHA-256");
        } else if (Hash(path) != *sha256 ||
                   (size && *size != std::to_string(fs::file_size(path)))) {
            problems.push_back(name + " differs from its signed SHA-256 or size");
        }
    };
    const auto attribute = [](const tinyxml2::XMLElement& element, const char* name) {
        const char* value = element.Attribute(name);
        return value == nullptr ? std::optional<std::string>() : std::optional<std::string>(value);
    };

    for (const SignedDocument& signedDocument : kDocuments) {
        const fs::path path = root / signedDocument.path;
        const std::string name = signedDocument.path;
        if (!fs::exists(path)) {
            if (name == "launcher/versions.xml") problems.push_back(name + " is missing");
            continue;
        }
        const auto bytes = ReadFileBytes(path.string());
        const auto signatures = ReadFileBytes(path.string() + kSignatureSuffix);
        if (!bytes || !signatures || !SignedByAny(*bytes, *signatures, keys)) {
            problems.push_back(name + " has no valid signature by the key given");
            continue;
        }
        tinyxml2::XMLDocument document;
        Load(document, path);
        const tinyxml2::XMLElement* element = document.FirstChildElement(signedDocument.root);
        if (element == nullptr) {
            problems.push_back(name + " has no " + signedDocument.root + " element");
            continue;
        }
        if (!attribute(*element, "Serial")) problems.push_back(name + " has no serial");
        if (const auto expires = attribute(*element, "Expires")) {
            const auto at = ParseUtcTime(*expires);
            if (!at || *at <= static_cast<std::int64_t>(std::time(nullptr)))
                problems.push_back(name + " has expired (" + *expires + ")");
        }
        if (std::string(signedDocument.root) == "Version") {
            check(path.parent_path() / "launcher.exe", attribute(*element, "sha256"),
                  attribute(*element, "size"));
            continue;
        }
        if (std::string(signedDocument.root) != "Versions") continue;
        for (const tinyxml2::XMLElement* version = element->FirstChildElement("Version");
             version != nullptr; version = version->NextSiblingElement("Version")) {
            const auto value = attribute(*version, "Value");
            if (!value) continue;
            const fs::path versionDir = root / "launcher" / fs::u8path(*value);
            check(versionDir / "manifest.xml", attribute(*version, "ManifestSha256"), std::nullopt);
            check(versionDir / "manifest.validate.xml", attribute(*version, "ValidateSha256"),
                  std::nullopt);
            tinyxml2::XMLDocument manifest;
            if (manifest.LoadFile((versionDir / "manifest.xml").string().c_str()) !=
                tinyxml2::XML_SUCCESS)
                continue;
            const tinyxml2::XMLElement* files = manifest.FirstChildElement("Game_Manifest");
            for (const tinyxml2::XMLElement* file = files ? files->FirstChildElement("File")
                                                          : nullptr;
                 file != nullptr; file = file->NextSiblingElement("File")) {
                const auto package = attribute(*file, "package");
                const auto checksum = attribute(*file, "checksum");
                if (!package || package->empty() || !checksum || checksum->empty()) continue;
                check(versionDir / (*package + ".zip"), attribute(*file, "packageSha256"),
                      attribute(*file, "packageSize"));
            }
        }
    }
    // A package named by several files is reported once.
    std::sort(problems.begin(), problems.end());
    problems.erase(std::unique(problems.begin(), problems.end()), problems.end());
    ChainReport report;
    report.chain = "signatures";
    report.ok = problems.empty();
    for (const std::string& problem : problems)
        report.message += (report.message.empty() ? "" : "; ") + problem;
    return report;
}
