// The XML documents of the update protocol, read into plain records. A document that
// is missing, is not XML or lacks what is read from it raises InstallError with a
// sentence naming the file (its label, such as "manifest.xml of version 1.2").
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// What a document says of a file it names; either may be absent in trees published
// before they were recorded, or unsigned.
struct FileFacts {
    std::optional<std::string> sha256;
    std::optional<std::uint64_t> size;
};

// versions.xml
struct CatalogueVersion {
    std::string value;
    std::string type;
    bool hasType = false;
    FileFacts manifest;        // "ManifestSha256": the version's manifest.xml
    FileFacts validationList;  // "ValidateSha256": its manifest.validate.xml
};

struct VersionCatalogue {
    std::string current;
    std::vector<CatalogueVersion> versions;  // document order: oldest first
};

VersionCatalogue LoadVersionCatalogue(const std::string& path, const std::string& label);
// Only "Full", exactly, marks a full version. Raises when the version has no "Type".
bool IsFullVersion(const CatalogueVersion& version, const std::string& label);

// version.xml, the installed-version record.
std::string LoadInstalledVersion(const std::string& path, const std::string& label);
// A new document holding only <Version Current="..."/>, replacing any earlier file
// whole or not at all.
void SaveInstalledVersion(const std::string& path, const std::string& version);

// manifest.xml
struct ManifestFile {
    std::string package;
    std::string name;
    std::string checksum;
    bool hasPatch = false;
    std::string patch;
    FileFacts packageFacts;  // "packageSha256", "packageSize": package + ".zip"
};

std::vector<ManifestFile> LoadInstallManifest(const std::string& path, const std::string& label);

// manifest.validate.xml: name to what the file must be, a later entry replacing an
// earlier one. Trees published before sizes were recorded carry none.
struct ListedFile {
    std::string checksum;
    std::optional<std::uint64_t> size;
};
using ValidationList = std::map<std::string, ListedFile>;

ValidationList LoadValidationManifest(const std::string& path, const std::string& label);
