// The XML documents of the update protocol, read into plain records. A document that
// is missing, is not XML or lacks what is read from it raises InstallError with a
// sentence naming the file (its label, such as "manifest.xml of version 1.2").
#pragma once

#include <map>
#include <string>
#include <vector>

// versions.xml
struct CatalogueVersion {
    std::string value;
    std::string type;
    bool hasType = false;
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
// A new document holding only <Version Current="..."/>, replacing any earlier file.
void SaveInstalledVersion(const std::string& path, const std::string& version);

// manifest.xml
struct ManifestFile {
    std::string package;
    std::string name;
    std::string checksum;
    bool hasPatch = false;
    std::string patch;
};

std::vector<ManifestFile> LoadInstallManifest(const std::string& path, const std::string& label);

// manifest.validate.xml: name to checksum, a later entry replacing an earlier one.
std::map<std::string, std::string> LoadValidationManifest(const std::string& path,
                                                          const std::string& label);
