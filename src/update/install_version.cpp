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
#include "update/update_error.h"
#include "update/web_servers.h"
#include "update/zip_extract.h"

namespace {

constexpr char kPatchFolder[] = "patch";
constexpr char kPatchedArchive[] = "patched.mix";

// Downloads one package zip into the work directory, unpacks it into destination and
// removes the zip.
void FetchAndExtract(const std::string& folderUrl, const std::string& workDirectory,
                     const std::string& package, const std::string& destination) {
    const std::string zipName = package + ".zip";
    const std::string zipPath = JoinPath(workDirectory, zipName);
    const TransferResult result = DownloadUrlToFile(folderUrl + zipName, zipPath);
    if (result != TransferResult::kCompleted) {
        throw InstallError("The package " + zipName +
                           " could not be downloaded: " + TransferFault(result) + ".");
    }
    std::string detail;
    const int code =
        ExtractZip(zipPath.c_str(), destination.c_str(), workDirectory.c_str(), &detail);
    RemoveFile(zipPath);
    if (code != kExtractOk) {
        throw InstallError("The package " + zipName +
                           " could not be unpacked: " + ExtractZipFault(code, detail) + ".");
    }
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

void InstallPackage(const std::string& folderUrl, const std::string& gameDirectory,
                    const std::string& workDirectory, const std::string& package) {
    FetchAndExtract(folderUrl, workDirectory, package, gameDirectory);
}

void InstallPatch(const std::string& folderUrl, const std::string& gameDirectory,
                  const std::string& workDirectory, const std::string& package,
                  const std::string& patch, const std::string& name) {
    const std::string patchFolder = JoinPath(workDirectory, kPatchFolder);
    RemoveTree(patchFolder);
    MakeDirectory(patchFolder);
    FetchAndExtract(folderUrl, workDirectory, package, patchFolder);
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

void InstallVersion(const std::string& gameDirectory, const std::string& workDirectory,
                    const std::string& version) {
    Status().SetStatusText("Installing Version " + version);
    const std::string folderUrl = LauncherServerBaseUrl() + version + "/";
    const std::string label = "manifest.xml of version " + version;
    FetchOrFail(folderUrl, workDirectory, "manifest.xml", label);
    const std::string manifestPath = JoinPath(workDirectory, "manifest.xml");
    const std::vector<ManifestFile> files = LoadInstallManifest(manifestPath, label);

    std::set<std::string> packages;
    std::map<std::string, std::pair<std::string, std::string>> patches;
    for (const ManifestFile& file : files) {
        const std::string target = RequireConfined(gameDirectory, file.name, label);
        if (file.checksum.empty()) {
            RemoveFile(target);
        } else if (!file.hasPatch) {
            RequireConfined(workDirectory, file.package + ".zip", label);
            packages.insert(file.package);
        } else {
            RequireConfined(workDirectory, file.package + ".zip", label);
            RequireConfined(workDirectory, file.patch, label);
            patches[file.package] = {file.patch, file.name};
        }
    }
    for (const std::string& package : packages) {
        InstallPackage(folderUrl, gameDirectory, workDirectory, package);
    }
    for (const auto& [package, patch] : patches) {
        InstallPatch(folderUrl, gameDirectory, workDirectory, package, patch.first, patch.second);
    }
    RemoveFile(manifestPath);
}
