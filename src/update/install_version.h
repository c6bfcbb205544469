// Installing one version over the game directory: deletions, whole-file packages,
// then patches to MIX archives, as the version's manifest.xml lists them.
#pragma once

#include <string>

// Raises InstallError when a document, a package or a file-system step fails.
void InstallVersion(const std::string& gameDirectory, const std::string& version);

void InstallPackage(const std::string& folderUrl, const std::string& gameDirectory,
                    const std::string& package);
// On a failed patch the archive gets its own name back before the error goes up.
void InstallPatch(const std::string& folderUrl, const std::string& gameDirectory,
                  const std::string& package, const std::string& patch, const std::string& name);

// Fetches baseUrl + fileName into directory; raises InstallError naming label when the
// file does not arrive.
void FetchOrFail(const std::string& baseUrl, const std::string& directory,
                 const std::string& fileName, const std::string& label);
