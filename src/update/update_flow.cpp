#include "update/update_flow.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <map>
#include <new>
#include <optional>
#include <vector>

#include "platform/file_in_use.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/status_sink.h"
#include "platform/stop_request.h"
#include "update/documents.h"
#include "update/download_service.h"
#include "update/install_layout.h"
#include "update/install_version.h"
#include "update/repair.h"
#include "update/runtime_installer.h"
#include "update/self_update.h"
#include "update/signed_release.h"
#include "update/update_error.h"
#include "update/validation.h"
#include "update/web_servers.h"

namespace {

constexpr char kCatalogueLabel[] = "The version catalogue versions.xml";
constexpr char kListName[] = "manifest.validate.xml";

// A build that does not match its manifest ends the run; unwinding carries it out.
struct BuildRejected {
    ValidationReport report;
};

std::string ListLabel(const std::string& version) {
    return "manifest.validate.xml of version " + version;
}

// One run over one installation. The record of the installed version goes before the
// first change to the game folder and comes back only once the folder validates, so
// that whatever point a run dies at, the next start never offers "&Play" on a folder
// that is not exactly a published version.
class Run {
public:
    Run(const InstallLayout& layout, bool& changed) : layout(layout), changed_(changed) {
        // What a killed run left in the work folder is of no use, but for the transfers it
        // broke off, which this run resumes.
        MakeDirectories(layout.work);
        ClearDirectory(layout.work, [](const std::string& name) {
            return name == InstallLayout::kInstalledListName || name == InstallLayout::kLockName ||
                   IsResumableLeftover(name);
        });
    }

    void BeforeChange() {
        if (recordDropped_) return;
        changed_ = true;
        RemoveFile(layout.record);
        recordDropped_ = true;
    }

    // The catalogue's entry for version; a version it does not name has no signed facts.
    CatalogueVersion Entry(const std::string& version) const {
        for (const CatalogueVersion& entry : catalogue.versions) {
            if (entry.value == version) return entry;
        }
        CatalogueVersion unnamed;
        unnamed.value = version;
        return unnamed;
    }

    const InstallLayout& layout;
    VersionCatalogue catalogue;
    // Documents fetched and proved in this run, so each is checked before the first
    // change it leads to and not fetched twice.
    std::map<std::string, std::vector<ManifestFile>> manifests;
    std::map<std::string, std::string> lists;  // version to its list in the work folder

private:
    bool& changed_;
    bool recordDropped_ = false;
};

// Fetches version's validation list into the work folder and proves it against the
// catalogue; kRefused when the server does not publish it (or, in a signed release,
// the catalogue no longer names the version), and raises for any other failure.
TransferResult FetchList(Run& run, const std::string& version) {
    if (run.lists.count(version) != 0) return TransferResult::kCompleted;
    const CatalogueVersion entry = run.Entry(version);
    if (ReleasesSigned() && !entry.validationList.sha256) return TransferResult::kRefused;
    const TransferOutcome result =
        DownloadFile(LauncherServerBaseUrl() + version + "/", run.layout.work, kListName);
    if (result == TransferResult::kRefused) return result;
    if (result != TransferResult::kCompleted) {
        throw InstallError(DownloadFailureText(ListLabel(version), kListName, result),
                           CauseOf(result));
    }
    const std::string fetched = JoinPath(run.layout.work, kListName);
    RequireSignedContent(fetched, entry.validationList, ListLabel(version));
    const std::string kept =
        JoinPath(run.layout.work, "list-" + std::to_string(run.lists.size()) + ".xml");
    RenameReplacing(fetched, kept);
    run.lists[version] = kept;
    return result;
}

ValidationReport CheckGame(const Run& run, const std::string& version) {
    return ValidateBuild(run.lists.at(version), run.layout.game, ListLabel(version));
}

void FetchCatalogue(Run& run) {
    const std::string& installDirectory = run.layout.install;
    const TransferOutcome result =
        FetchSigned(LauncherServerBaseUrl(), installDirectory, "versions.xml", kCatalogueLabel);
    if (result != TransferResult::kCompleted) {
        throw InstallError(DownloadFailureText(kCatalogueLabel, "versions.xml", result),
                           CauseOf(result));
    }
    const std::string path = JoinPath(installDirectory, "versions.xml");
    try {
        RequireFresh(path, "Versions", run.layout, kCatalogueLabel, true);
    } catch (const VerificationError&) {
        RemoveFile(path);
        throw;
    }
    run.catalogue = LoadVersionCatalogue(path, kCatalogueLabel);
}

// The last full version and every version after it, up to target when one is given:
// what an empty folder needs.
std::vector<std::string> InstallChain(const VersionCatalogue& catalogue,
                                      const std::string& target = {}) {
    std::vector<std::string> chain;
    for (const CatalogueVersion& version : catalogue.versions) {
        if (IsFullVersion(version, kCatalogueLabel)) chain.clear();
        chain.push_back(version.value);
        if (version.value == target) return chain;
    }
    if (target.empty()) return chain;
    throw InstallError(
        "Version " + target + " is not published: " + kCatalogueLabel + " does not name it.",
        FailureCause::kNotPublished);
}

void ProveManifests(Run& run, const std::vector<std::string>& versions) {
    for (const std::string& version : versions) {
        if (run.manifests.count(version) == 0)
            run.manifests[version] = FetchManifest(run.layout.work, run.Entry(version));
    }
}

// Installs versions in order, the game folder emptied first when clean. Every manifest
// is proved before the first change, and each version's packages before its own.
void InstallInOrder(Run& run, const std::vector<std::string>& versions, bool clean) {
    ProveManifests(run, versions);
    // Versions are built in the work folder; a run that fails before moving one in
    // still leaves a game folder to validate and repair.
    MakeDirectories(run.layout.game);
    bool cleared = !clean;
    const auto beforeChange = [&] {
        run.BeforeChange();
        if (cleared) return;
        RemoveTree(run.layout.game);
        MakeDirectory(run.layout.game);
        cleared = true;
    };
    std::vector<VersionToInstall> chain;
    for (const std::string& version : versions) {
        chain.push_back({run.Entry(version), run.manifests.at(version)});
    }
    InstallVersions(run.layout.game, run.layout.work, chain, beforeChange);
    beforeChange();
}

void CleanInstall(Run& run, const std::vector<std::string>& chain) {
    InstallInOrder(run, chain, true);
}

bool GameFolderEmpty(const Run& run) {
    return KindOf(run.layout.game) != EntryKind::kDirectory ||
           ListDirectory(run.layout.game).empty();
}

enum class Convergence {
    kValid,
    kNeedsReinstall,  // the tree cannot repair it, or a clean install would fetch less
};

// Validates the game against the list in the work folder and repairs what differs.
// With a reinstall on offer, a folder that lacks most of its files (a stray leftover,
// an install killed early) is left to it: a few packages arrive faster than a store
// object for every file.
// Without proveAfter, the caller validates again anyway: each fetched file was checked
// on arrival, so the folder is not hashed once more in between.
Convergence Converge(Run& run, const std::string& version, bool canReinstall,
                     bool proveAfter = true) {
    ValidationReport report = CheckGame(run, version);
    if (report.ok()) return Convergence::kValid;
    const auto missing = static_cast<std::size_t>(
        std::count_if(report.problems.begin(), report.problems.end(),
                      [](const FileProblem& p) { return p.kind == FileProblemKind::kMissing; }));
    if (canReinstall && missing * 2 > report.listed.size()) return Convergence::kNeedsReinstall;
    run.BeforeChange();
    if (RepairGame(run.layout, report, ListLabel(version)) == RepairResult::kNoStore) {
        return Convergence::kNeedsReinstall;
    }
    if (!proveAfter) return Convergence::kValid;
    report = CheckGame(run, version);
    if (!report.ok()) throw BuildRejected{report};
    return Convergence::kValid;
}

// The list in the work folder becomes the installed one, then the record names version.
void RecordVersion(Run& run, const std::string& version) {
    RenameReplacing(run.lists.at(version), run.layout.installedList);
    SaveInstalledVersion(run.layout.record, version);
    ClearDirectory(run.layout.work, {InstallLayout::kInstalledListName, InstallLayout::kLockName});
    Status().SetStatusText("Install Completed");
    Status().Report({ProgressEvent::Kind::kVersionApplied, version});
}

// Ends every path: the game must be exactly latest. What differs is repaired; when the
// tree cannot repair, an earlier failure is the one to report, else reinstall runs
// (when there is one worth trying) and must leave a folder that validates.
void FinishAt(Run& run, const std::string& latest, const std::function<void()>& reinstall,
              const std::optional<InstallError>& failure) {
    if (FetchList(run, latest) == TransferResult::kRefused) {
        if (failure) throw *failure;
        throw InstallError(
            DownloadFailureText(ListLabel(latest), kListName, TransferResult::kRefused),
            CauseOf(TransferResult::kRefused));
    }
    if (Converge(run, latest, reinstall != nullptr) == Convergence::kNeedsReinstall) {
        if (failure) throw *failure;
        if (!reinstall) throw BuildRejected{CheckGame(run, latest)};
        reinstall();
        const ValidationReport report = CheckGame(run, latest);
        if (!report.ok()) throw BuildRejected{report};
    }
    RecordVersion(run, latest);
}

// Runs work; an install or file-system error it raises is kept for later, since a repair may still
// bring the game to the published version.
std::optional<InstallError> Attempt(const std::function<void()>& work) {
    try {
        work();
    } catch (const InstallError& error) {
        return error;
    } catch (const FileInUseError&) {
        throw;  // a repair would meet the same file
    } catch (const FileSystemError& error) {
        return InstallError(error.what(), CauseOfErrno(error.error));
    }
    return std::nullopt;
}

// The path of an install: the game ends at target, or the catalogue's current version.
std::string InstallPath(const InstallLayout& layout, const UpdateOptions& options, bool& changed) {
    Run run(layout, changed);
    if (options.installRuntime) InstallRuntime(layout);
    FetchCatalogue(run);
    const VersionCatalogue& catalogue = run.catalogue;
    const std::vector<std::string> chain = InstallChain(catalogue, options.version);
    const std::string target = options.version.empty() ? catalogue.current : options.version;
    // The list the run must end at, proved before anything changes; FinishAt judges a
    // list the server lacks.
    FetchList(run, target);
    if (GameFolderEmpty(run)) {
        const auto failure = Attempt([&] { CleanInstall(run, chain); });
        FinishAt(run, target, nullptr, failure);
    } else {
        // What a killed run or an old installation left is repaired, not thrown away.
        FinishAt(
            run, target, [&] { CleanInstall(run, chain); }, std::nullopt);
    }
    return target;
}

std::string UpdatePath(const InstallLayout& layout, const UpdateOptions& options, bool& changed) {
    const std::string& installDirectory = layout.install;
    Run run(layout, changed);
    if (options.installRuntime) InstallRuntime(layout);
    const std::string installed =
        LoadInstalledVersion(run.layout.record, "The installed-version record version.xml");
    FetchCatalogue(run);
    const VersionCatalogue& catalogue = run.catalogue;
    FetchList(run, catalogue.current);
    const std::vector<std::string> chain = InstallChain(catalogue);
    const auto reinstall = [&] { CleanInstall(run, chain); };

    std::vector<std::string> list;
    bool collecting = false;
    bool full = false;
    for (const CatalogueVersion& version : catalogue.versions) {
        if (collecting) {
            if (IsFullVersion(version, kCatalogueLabel)) {
                list.clear();
                full = true;
            }
            list.push_back(version.value);
        }
        if (version.value == installed) collecting = true;
    }

    // Before a repair of the installed version can change anything.
    ProveManifests(run, list);
    std::optional<InstallError> failure;
    if (full) {
        failure = Attempt([&] { InstallInOrder(run, list, true); });
    } else if (FetchList(run, installed) == TransferResult::kRefused) {
        // The installed version is no longer published: nothing can be put on top of it.
        RemoveFile(JoinPath(installDirectory, "versions.xml"));
        FinishAt(run, catalogue.current, reinstall, std::nullopt);
        return catalogue.current;
    } else if (Converge(run, installed, true, false) == Convergence::kNeedsReinstall) {
        reinstall();
        list.clear();
    } else if (!list.empty()) {
        failure = Attempt([&] { InstallInOrder(run, list, false); });
    }
    RemoveFile(JoinPath(installDirectory, "versions.xml"));
    FinishAt(run, catalogue.current, full ? std::function<void()>() : reinstall, failure);
    return catalogue.current;
}

}  // namespace

UpdateOutcome InstallFailure(const std::string& text, FailureCause cause) {
    return {UpdateOutcome::Next::kShowMessage, text, "Install Failure", cause};
}

UpdateOutcome ValidationFailure(const std::string& detail) {
    std::string text = "Validation Failed";
    if (!detail.empty()) text += "\n\n" + detail;
    return {UpdateOutcome::Next::kShowMessage, text, "The build did not validate properly",
            FailureCause::kInvalidBuild};
}

UpdateOutcome FileInUseFailure(const std::string& text) {
    return {UpdateOutcome::Next::kShowMessage, text, "File In Use"};
}

UpdateOutcome RunUpdate(UpdateAction action, const InstallLayout& layout,
                        const UpdateOptions& options) {
    bool changed = false;
    UpdateOutcome outcome = [&]() -> UpdateOutcome {
        try {
            if (action == UpdateAction::kReplaceLauncher) return ReplaceLauncher(layout);
            UpdateOutcome done;
            done.version = action == UpdateAction::kInstall ? InstallPath(layout, options, changed)
                                                            : UpdatePath(layout, options, changed);
            return done;
        } catch (const WorkStopped&) {
            return {UpdateOutcome::Next::kStopped, {}, {}, FailureCause::kStopped};
        } catch (const VerificationError& error) {
            return {UpdateOutcome::Next::kShowMessage, VerificationMessage(error, changed),
                    kVerificationCaption, FailureCause::kRefusedRelease};
        } catch (const FileInUseError& error) {
            return FileInUseFailure(error.what());
        } catch (const BuildRejected& rejected) {
            return ValidationFailure(rejected.report.Describe());
        } catch (const ValidationError& error) {
            UpdateOutcome failure = ValidationFailure(error.what());
            failure.cause = FailureCause::kOther;  // a file that cannot be read, not a wrong one
            return failure;
        } catch (const std::bad_alloc&) {
            return InstallFailure("The launcher ran out of memory while installing the game.");
        } catch (const InstallError& error) {
            return InstallFailure(error.what(), error.cause);
        } catch (const FileSystemError& error) {
            return InstallFailure(error.what(), CauseOfErrno(error.error));
        } catch (const std::exception& error) {
            return InstallFailure(error.what());
        }
    }();
    outcome.changed = changed;
    return outcome;
}
