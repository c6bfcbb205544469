#include "update/install_version.h"

#include <cerrno>
#include <exception>
#include <map>
#include <set>
#include <utility>

#include "mix/mix_patcher.h"
#include "platform/confined_name.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/status_sink.h"
#include "update/documents.h"
#include "update/download_service.h"
#include "update/signed_release.h"
#include "update/update_error.h"
#include "update/web_servers.h"
#include "update/zip_extract.h"

namespace {

constexpr char kPatchFolder[] = "patch";
constexpr char kPatchedArchive[] = "patched.mix";

std::string ZipNameOf(const std::string& package) { return package + ".zip"; }

// Downloads one package zip into the work directory and proves it against what the
// manifest says of it.
void FetchPackage(const std::string& folderUrl, const std::string& workDirectory,
                  const std::string& package, const FileFacts& facts) {
    const std::string zipName = ZipNameOf(package);
    const std::string zipPath = JoinPath(workDirectory, zipName);
    const TransferResult result = DownloadUrlToFile(folderUrl + zipName, zipPath);
    if (result != TransferResult::kCompleted) {
        throw InstallError("The package " + zipName +
                           " could not be downloaded: " + TransferFault(result) + ".");
    }
    try {
        RequireSignedContent(zipPath, facts, "The package " + zipName);
    } catch (const VerificationError&) {
        RemoveFile(zipPath);
        throw;
    }
}

// Unpacks a fetched package into destination.
void Extract(const std::string& workDirectory, const std::string& package,
             const std::string& destination) {
    const std::string zipPath = JoinPath(workDirectory, ZipNameOf(package));
    std::string detail;
    const int code =
        ExtractZip(zipPath.c_str(), destination.c_str(), workDirectory.c_str(), &detail);
    if (code != kExtractOk) {
        throw InstallError("The package " + ZipNameOf(package) +
                           " could not be unpacked: " + ExtractZipFault(code, detail) + ".");
    }
}

// The archive is patched into the work directory and then moved over its old self, so
// a failure at any point leaves the old archive as it was.
void ApplyPatch(const std::string& gameDirectory, const std::string& workDirectory,
                const std::string& package, const std::string& patch, const std::string& name) {
    const std::string patchFolder = JoinPath(workDirectory, kPatchFolder);
    RemoveTree(patchFolder);
    MakeDirectory(patchFolder);
    Extract(workDirectory, package, patchFolder);
    const std::string patchPath = JoinPath(patchFolder, patch);
    const std::string target = JoinPath(gameDirectory, name);
    const std::string patched = JoinPath(workDirectory, kPatchedArchive);
    try {
        PatchMixFile(target, patched, patchPath);
    } catch (const std::exception& error) {
        RemoveTree(patchFolder);
        throw InstallError("The patch " + patch + " could not be applied to " + name + ": " +
                           error.what());
    }
    RenameReplacing(patched, target);
    RemoveTree(patchFolder);
}

}  // namespace

std::string TransferFault(TransferResult result) {
    switch (result) {
        case TransferResult::kCompleted:
            return "no fault";
        case TransferResult::kRefused:
            return "the server refused it";
        case TransferResult::kUnreachable:
            return "the server could not be reached";
        case TransferResult::kDiskFull:
            return ErrnoText(ENOSPC);
    }
    return "it did not arrive";
}

// A name from a manifest must stay inside the game directory, like a zip entry's.
std::string RequireConfined(const std::string& root, const std::string& name,
                            const std::string& label) {
    ConfinedName confined = ConfineName(root, name);
    if (!confined.ok()) {
        throw InstallError(label +
                           " names a file outside the game folder, or one Windows cannot hold: \"" +
                           name + "\" " + confined.refusal + ".");
    }
    return std::move(confined.path);
}

void FetchOrFail(const std::string& baseUrl, const std::string& directory,
                 const std::string& fileName, const std::string& label) {
    const TransferResult result = DownloadFile(baseUrl, directory, fileName);
    if (result != TransferResult::kCompleted) {
        throw InstallError(label + " could not be downloaded: " + TransferFault(result) + ".");
    }
}

std::vector<ManifestFile> FetchManifest(const std::string& workDirectory,
                                        const CatalogueVersion& version) {
    const std::string folderUrl = LauncherServerBaseUrl() + version.value + "/";
    const std::string label = "manifest.xml of version " + version.value;
    FetchOrFail(folderUrl, workDirectory, "manifest.xml", label);
    const std::string manifestPath = JoinPath(workDirectory, "manifest.xml");
    std::vector<ManifestFile> files;
    try {
        RequireSignedContent(manifestPath, version.manifest, label);
        files = LoadInstallManifest(manifestPath, label);
    } catch (...) {
        RemoveFile(manifestPath);
        throw;
    }
    RemoveFile(manifestPath);
    return files;
}

void InstallVersion(const std::string& gameDirectory, const std::string& workDirectory,
                    const CatalogueVersion& version, const std::vector<ManifestFile>& files,
                    const std::function<void()>& beforeChange) {
    Status().SetStatusText("Installing Version " + version.value);
    const std::string folderUrl = LauncherServerBaseUrl() + version.value + "/";
    const std::string label = "manifest.xml of version " + version.value;

    std::vector<std::string> deletions;
    std::map<std::string, FileFacts> packages;  // every package: whole files and patches
    std::set<std::string> wholePackages;
    std::map<std::string, std::pair<std::string, std::string>> patches;
    for (const ManifestFile& file : files) {
        const std::string target = RequireConfined(gameDirectory, file.name, label);
        if (file.checksum.empty()) {
            deletions.push_back(target);
            continue;
        }
        RequireConfined(workDirectory, file.package + ".zip", label);
        packages.emplace(file.package, file.packageFacts);
        if (!file.hasPatch) {
            wholePackages.insert(file.package);
        } else {
            RequireConfined(workDirectory, file.patch, label);
            patches[file.package] = {file.patch, file.name};
        }
    }
    for (const auto& [package, facts] : packages) {
        FetchPackage(folderUrl, workDirectory, package, facts);
    }
    if (beforeChange) beforeChange();
    for (const std::string& path : deletions) RemoveFile(path);
    for (const std::string& package : wholePackages) {
        Extract(workDirectory, package, gameDirectory);
    }
    for (const auto& [package, patch] : patches) {
        ApplyPatch(gameDirectory, workDirectory, package, patch.first, patch.second);
    }
    for (const auto& package : packages)
        RemoveFile(JoinPath(workDirectory, ZipNameOf(package.first)));
}

void InstallVersion(const std::string& gameDirectory, const std::string& workDirectory,
                    const std::string& version) {
    CatalogueVersion entry;
    entry.value = version;
    InstallVersion(gameDirectory, workDirectory, entry, FetchManifest(workDirectory, entry));
}
