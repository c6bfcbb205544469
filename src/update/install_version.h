// Installing one version over the game directory: deletions, whole-file packages,
// then patches to MIX archives, as the version's manifest.xml lists them. Everything
// fetched or staged lies in the work directory; each game file is replaced whole.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/downloader.h"
#include "update/documents.h"

// The version's manifest.xml, fetched into the work directory, proved against the hash
// the catalogue gives (VerificationError), read and removed again.
std::vector<ManifestFile> FetchManifest(const std::string& workDirectory,
                                        const CatalogueVersion& version);

// Installs version as its proved manifest lists it. Every package is fetched into the
// work directory and proved before beforeChange runs and the game directory is first
// touched, so a refused package leaves the game as it was. Raises InstallError when a
// package or a file-system step fails, VerificationError for a package that differs
// from the manifest.
void InstallVersion(const std::string& gameDirectory, const std::string& workDirectory,
                    const CatalogueVersion& version, const std::vector<ManifestFile>& files,
                    const std::function<void()>& beforeChange = {});
// Versions installed one after the other, as InstallVersion would; the first download of
// each runs beside the last step of the one before.
struct VersionToInstall {
    CatalogueVersion version;
    std::vector<ManifestFile> files;
};
void InstallVersions(const std::string& gameDirectory, const std::string& workDirectory,
                     const std::vector<VersionToInstall>& versions,
                     const std::function<void()>& beforeChange);
// The same with a manifest fetched without a catalogue to prove it by.
void InstallVersion(const std::string& gameDirectory, const std::string& workDirectory,
                    const std::string& version);

// Fetches baseUrl + fileName into directory; raises InstallError naming label when the
// file does not arrive.
void FetchOrFail(const std::string& baseUrl, const std::string& directory,
                 const std::string& fileName, const std::string& label);

// The path of a name from a document inside root; refuses (InstallError naming label)
// what the file-system layer refuses (see confined_name.h).
std::string RequireConfined(const std::string& root, const std::string& name,
                            const std::string& label);
