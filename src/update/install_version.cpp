#include "update/install_version.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "platform/confined_name.h"
#include "platform/file_system.h"
#include "platform/locked_status_sink.h"
#include "platform/path.h"
#include "platform/status_sink.h"
#include "platform/worker_threads.h"
#include "update/documents.h"
#include "update/download_service.h"
#include "update/file_patch.h"
#include "update/signed_release.h"
#include "update/update_error.h"
#include "update/web_servers.h"
#include "update/zip_extract.h"

namespace {

constexpr char kPatchFolder[] = "patch";
constexpr char kPatchedArchive[] = "patched.mix";
constexpr char kStageFolder[] = "stage";

std::string ZipNameOf(const std::string& package) { return package + ".zip"; }

// Downloads one package zip into the work directory and proves it against what the
// manifest says of it. A broken transfer is resumed, in this run or the next.
void FetchPackage(const std::string& folderUrl, const std::string& workDirectory,
                  const std::string& package, const FileFacts& facts,
                  const std::string& localName) {
    const std::string zipName = ZipNameOf(package);
    const std::string zipPath = JoinPath(workDirectory, localName);
    TransferRequest request{folderUrl + zipName, zipPath, true, facts.size.value_or(0)};
    DownloadProgress progress(JoinPath(workDirectory, zipName));  // the name the player knows
    const TransferResult result = DownloadUrlToFile(request, progress);
    // A size the signed release contradicts is refused as a wrong checksum would be.
    if (result == TransferResult::kNotAsPublished && ReleasesSigned()) {
        RefuseAsUnsigned("The package " + zipName);
    }
    if (result != TransferResult::kCompleted) {
        throw InstallError(
            DownloadFailureText("The package " + zipName, zipName, result, request.failure),
            CauseOf(result));
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
        throw InstallError(
            "The package " + ZipNameOf(package) +
                " could not be unpacked: " + ExtractZipFault(code, detail) + ".",
            code == kExtractDiskFull ? FailureCause::kDiskFull : FailureCause::kOther);
    }
}

// A file a version patches: the patch file its package carries, and what it must become.
struct PatchedFile {
    std::string patch;
    std::string name;
    std::string checksum;
};

// Patches name into the stage: its staged copy when a package of this version put one
// there, else the game's own, which stays untouched until the stage is moved in.
void ApplyPatch(const std::string& gameDirectory, const std::string& workDirectory,
                const std::string& stage, const std::string& package, const PatchedFile& file) {
    const std::string& patch = file.patch;
    const std::string& name = file.name;
    const std::string patchFolder = JoinPath(workDirectory, kPatchFolder);
    RemoveTree(patchFolder);
    MakeDirectory(patchFolder);
    Extract(workDirectory, package, patchFolder);
    const std::string patchPath = JoinPath(patchFolder, patch);
    const std::string staged = JoinPath(stage, name);
    const std::string source = FileExists(staged) ? staged : JoinPath(gameDirectory, name);
    const std::string patched = JoinPath(workDirectory, kPatchedArchive);
    try {
        PatchGameFile(source, patched, patchPath, file.checksum);
    } catch (const std::exception& error) {
        RemoveTree(patchFolder);
        throw InstallError("The patch " + patch + " could not be applied to " + name + ": " +
                           error.what());
    }
    const std::size_t folderEnd = staged.find_last_of("/\\");
    MakeDirectories(staged.substr(0, folderEnd));
    RenameReplacing(patched, staged);
    RemoveTree(patchFolder);
}

// Moves every file of the staged tree over its place in the game, one rename each.
void MoveStagedInto(const std::string& stage, const std::string& game) {
    for (const std::string& name : ListDirectory(stage)) {
        const std::string from = JoinPath(stage, name);
        const std::string to = JoinPath(game, name);
        if (KindOf(from) != EntryKind::kDirectory) {
            RenameReplacing(from, to);
            continue;
        }
        const EntryKind existing = KindOf(to);
        if (existing == EntryKind::kMissing) {
            MakeDirectory(to);
        } else if (existing != EntryKind::kDirectory) {
            throw InstallError("The folder " + name +
                               " could not be created in the game folder: "
                               "a file of that name is in the way.");
        }
        MoveStagedInto(from, to);
    }
}

// One package's part of a version: its download, then what is done with it.
struct PackageStep {
    std::string package;
    bool whole = false;  // unpacked into the game
    std::optional<PatchedFile> patch;
    bool fetch = true;    // false when an earlier step fetched it already
    bool lastUse = true;  // the zip goes after this step
};

// Runs apply and, beside it, fetch (the next package's download), and returns when both
// have ended; apply's failure is the one reported when both fail. Status reports from the
// two are serialized. One thread does both in turn where no second one may run.
void ApplyWhileFetching(const std::function<void()>& apply, const std::function<void()>& fetch) {
    std::exception_ptr failures[2];
    const std::function<void()>* jobs[2] = {&apply, &fetch};
    LockedStatusSink locked(Status());
    SetStatusSink(&locked);
    WorkQueue queue(2);
    RunOnThreads(std::min(2u, WorkerThreadCount()), [&](unsigned) {
        std::size_t item = 0;
        while (queue.Take(item)) {
            try {
                (*jobs[item])();
            } catch (...) {
                failures[item] = std::current_exception();
            }
        }
    });
    SetStatusSink(&locked.inner());
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
}

}  // namespace

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
    const TransferOutcome result = DownloadFile(baseUrl, directory, fileName);
    if (result != TransferResult::kCompleted) {
        throw InstallError(DownloadFailureText(label, fileName, result), CauseOf(result));
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

namespace {

// One version's install, planned from its proved manifest.
class VersionInstall {
public:
    VersionInstall(const std::string& gameDirectory, const std::string& workDirectory,
                   const CatalogueVersion& version, const std::vector<ManifestFile>& files)
        : game_(gameDirectory),
          work_(workDirectory),
          version_(version.value),
          folderUrl_(LauncherServerBaseUrl() + version.value + "/") {
        const std::string label = "manifest.xml of version " + version.value;
        std::set<std::string> wholePackages;
        std::map<std::string, PatchedFile> patches;
        for (const ManifestFile& file : files) {
            const std::string target = RequireConfined(game_, file.name, label);
            if (file.checksum.empty()) {
                deletions_.push_back(target);
                continue;
            }
            RequireConfined(work_, ZipNameOf(file.package), label);
            RequireConfined(work_, AheadNameOf(file.package), label);
            packages_.emplace(file.package, file.packageFacts);
            if (!file.hasPatch) {
                wholePackages.insert(file.package);
            } else {
                RequireConfined(work_, file.patch, label);
                patches[file.package] = {file.patch, file.name, file.checksum};
            }
        }
        // Whole packages first, then patches, each package fetched once: the order of the
        // downloads is the order of the work, so each download runs beside the work on the
        // package before it and the work folder holds at most two packages at a time.
        for (const std::string& package : wholePackages) {
            steps_.push_back({package, true, std::nullopt, true, patches.count(package) == 0});
        }
        for (const auto& [package, patch] : patches) {
            steps_.push_back({package, false, patch, wholePackages.count(package) == 0, true});
        }
    }

    // Fetches and proves this version's first package while the version before it ends.
    // It lies under a name of its own there, since that version may use the same one.
    void FetchFirstPackageAhead() {
        if (steps_.empty()) return;
        const std::string& package = steps_.front().package;
        FetchPackage(folderUrl_, work_, package, packages_.at(package), AheadNameOf(package));
        fetchedAhead_ = true;
    }

    // next, when given, is the version installed after this one: its first download runs
    // beside this version's last step, and a failure of it is raised once this version
    // is in place, as it would have been had the download started then.
    void Install(const std::function<void()>& beforeChange, VersionInstall* next) {
        Status().SetStatusText("Installing Version " + version_);
        // The game stays as it was until every package has arrived and been proved: the
        // version is built in the stage and moved in by renames.
        const std::string stage = JoinPath(work_, kStageFolder);
        RemoveTree(stage);
        MakeDirectory(stage);
        std::exception_ptr aheadFailure;
        const auto fetch = [&](std::size_t index) {
            if (index >= steps_.size()) {
                if (next == nullptr) return;
                try {
                    next->FetchFirstPackageAhead();
                } catch (...) {
                    aheadFailure = std::current_exception();
                }
                return;
            }
            if (!steps_[index].fetch) return;
            const std::string& package = steps_[index].package;
            if (index == 0 && fetchedAhead_) {
                RenameReplacing(JoinPath(work_, AheadNameOf(package)),
                                JoinPath(work_, ZipNameOf(package)));
                return;
            }
            FetchPackage(folderUrl_, work_, package, packages_.at(package), ZipNameOf(package));
        };
        // A package that arrived but does not unpack or patch stops nothing else: what the
        // others built still goes in, and the repair that follows the failure fetches less.
        // One that does not arrive, or is refused, leaves the game as it was.
        std::exception_ptr unpackFailure;
        fetch(0);
        for (std::size_t index = 0; index < steps_.size(); ++index) {
            const PackageStep& step = steps_[index];
            const auto apply = [&] {
                try {
                    if (step.whole) Extract(work_, step.package, stage);
                    if (step.patch) ApplyPatch(game_, work_, stage, step.package, *step.patch);
                } catch (const InstallError&) {
                    if (!unpackFailure) unpackFailure = std::current_exception();
                }
                if (step.lastUse) RemoveFile(JoinPath(work_, ZipNameOf(step.package)));
            };
            ApplyWhileFetching(apply, [&] { fetch(index + 1); });
        }
        if (beforeChange) beforeChange();
        for (const std::string& path : deletions_) RemoveFile(path);
        MoveStagedInto(stage, game_);
        RemoveTree(stage);
        if (unpackFailure) std::rethrow_exception(unpackFailure);
        if (aheadFailure) std::rethrow_exception(aheadFailure);
    }

private:
    static std::string AheadNameOf(const std::string& package) {
        return "next-" + ZipNameOf(package);
    }

    std::string game_;
    std::string work_;
    std::string version_;
    std::string folderUrl_;
    std::vector<std::string> deletions_;
    std::map<std::string, FileFacts> packages_;  // every package: whole files and patches
    std::vector<PackageStep> steps_;
    bool fetchedAhead_ = false;
};

}  // namespace

void InstallVersions(const std::string& gameDirectory, const std::string& workDirectory,
                     const std::vector<VersionToInstall>& versions,
                     const std::function<void()>& beforeChange) {
    std::vector<VersionInstall> installs;
    installs.reserve(versions.size());
    for (const VersionToInstall& version : versions) {
        installs.emplace_back(gameDirectory, workDirectory, version.version, version.files);
    }
    for (std::size_t index = 0; index < installs.size(); ++index) {
        installs[index].Install(beforeChange,
                                index + 1 < installs.size() ? &installs[index + 1] : nullptr);
    }
}

void InstallVersion(const std::string& gameDirectory, const std::string& workDirectory,
                    const CatalogueVersion& version, const std::vector<ManifestFile>& files,
                    const std::function<void()>& beforeChange) {
    InstallVersions(gameDirectory, workDirectory, {{version, files}}, beforeChange);
}

void InstallVersion(const std::string& gameDirectory, const std::string& workDirectory,
                    const std::string& version) {
    CatalogueVersion entry;
    entry.value = version;
    InstallVersion(gameDirectory, workDirectory, entry, FetchManifest(workDirectory, entry));
}
