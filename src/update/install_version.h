// Installing one version over the game directory: deletions, whole-file packages,
// then patches to MIX archives, as the version's manifest.xml lists them. Everything
// fetched or staged lies in the work directory; each game file is replaced whole.
#pragma once

#include <string>

#include "platform/downloader.h"

// Raises InstallError when a document, a package or a file-system step fails.
void InstallVersion(const std::string& gameDirectory, const std::string& workDirectory,
                    const std::string& version);

void InstallPackage(const std::string& folderUrl, const std::string& gameDirectory,
                    const std::string& workDirectory, const std::string& package);
// The archive is patched into the work directory and then moved over its old self, so
// a failure at any point leaves the old archive as it was.
void InstallPatch(const std::string& folderUrl, const std::string& gameDirectory,
                  const std::string& workDirectory, const std::string& package,
                  const std::string& patch, const std::string& name);

// Fetches baseUrl + fileName into directory; raises InstallError naming label when the
// file does not arrive.
void FetchOrFail(const std::string& baseUrl, const std::string& directory,
                 const std::string& fileName, const std::string& label);

// Why a transfer did not complete, as a phrase for a message.
std::string TransferFault(TransferResult result);

// The path of a name from a document inside root; refuses (InstallError naming label)
// what the file-system layer refuses (see confined_name.h).
std::string RequireConfined(const std::string& root, const std::string& name,
                            const std::string& label);
