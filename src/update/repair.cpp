#include "update/repair.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <map>
#include <vector>

#include "platform/file_system.h"
#include "platform/locked_status_sink.h"
#include "platform/path.h"
#include "platform/status_sink.h"
#include "platform/stop_request.h"
#include "platform/worker_threads.h"
#include "update/download_service.h"
#include "update/install_version.h"
#include "update/signed_release.h"
#include "update/update_error.h"
#include "update/web_servers.h"
#include "update/zip_extract.h"

namespace {

// Store objects arrive over a few reused connections at once: most repairs are many
// small files, where the round trips cost more than the bytes.
constexpr unsigned kParallelTransfers = 4;

bool IsChecksum(const std::string& text) {
    if (text.size() != 64) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

// Transfers running beside each other share the bar, so it counts files, not bytes.
class RepairProgress final : public DownloadObserver {
public:
    explicit RepairProgress(const std::string& name) : name_(name) {}
    void OnProgress(std::uint64_t position, std::uint64_t size, DownloadPhase phase) override {
        if (phase == DownloadPhase::kBegin) {
            Status().SetStatusText("Repairing File " + name_);
            Status().Report({ProgressEvent::Kind::kFileStarted, name_, position, size});
        }
    }

private:
    std::string name_;
};

// Fetches and unpacks the store's copy of one file into the work folder; its path, or
// "" when the tree has no usable copy. Each object has names of its own there, so that
// several arrive at once and a broken one is resumed by the next run.
std::string FetchObject(const InstallLayout& layout, const std::string& name,
                        const ListedFile& listed) {
    if (!IsChecksum(listed.checksum)) return "";
    const std::string zipPath = JoinPath(layout.work, "object-" + listed.checksum + ".zip");
    const std::string folder = JoinPath(layout.work, "object-" + listed.checksum);
    RemoveTree(folder);
    MakeDirectory(folder);
    TransferRequest request{StoreObjectUrl(listed.checksum), zipPath, true};
    RepairProgress progress(name);
    const TransferResult result = DownloadUrlToFile(request, progress);
    if (result == TransferResult::kRefused || result == TransferResult::kNotAsPublished) return "";
    if (result != TransferResult::kCompleted) {
        throw InstallError(DownloadFailureText("The file " + name, name, result, request.failure,
                                               "could not be repaired"),
                           CauseOf(result));
    }
    std::string detail;
    // Staged in the object's own folder: objects arrive beside each other.
    const int code = ExtractZip(zipPath.c_str(), folder.c_str(), folder.c_str(), &detail);
    RemoveFile(zipPath);
    if (code == kExtractWriteFailed || code == kExtractDiskFull ||
        code == kExtractMakeDirectoryFailed) {
        throw InstallError(
            "The file " + name + " could not be repaired: " + ExtractZipFault(code, detail) + ".",
            code == kExtractDiskFull ? FailureCause::kDiskFull : FailureCause::kOther);
    }
    const std::string path = JoinPath(folder, listed.checksum);
    if (code != kExtractOk || RegularFileSize(path) == std::nullopt) return "";
    // The store is as untrusted as the network it came over: the proved list vouches
    // for each object by its checksum.
    if (!FileMatches(path, FileFacts{listed.checksum, listed.size})) return "";
    return path;
}

// The walk follows links, so a linked folder's files show up as the game's own. Each
// link on the way to name is removed, so that nothing is deleted or written through it.
void RemoveLinksOnPath(const std::string& game, const std::string& name) {
    std::string path = game;
    std::size_t start = 0;
    while (start < name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) end = name.size();
        path = JoinPath(path, name.substr(start, end - start));
        if (IsLink(path) && !RemoveLink(path)) {
            throw InstallError("Could not remove the link " + path + ".");
        }
        start = end + 1;
    }
}

}  // namespace

std::string StoreObjectUrl(const std::string& checksum) {
    return LauncherServerBaseUrl() + "store/" + checksum.substr(0, 2) + "/" + checksum + ".zip";
}

RepairResult RepairGame(const InstallLayout& layout, const ValidationReport& report,
                        const std::string& label) {
    // Files of one content share a store object and its names in the work folder: the same
    // worker puts them in place one after the other.
    std::map<std::string, std::vector<std::string>> byChecksum;
    for (const FileProblem& problem : report.problems) {
        const std::string target = RequireConfined(layout.game, problem.name, label);
        RemoveLinksOnPath(layout.game, problem.name);
        if (problem.kind == FileProblemKind::kUnexpected) {
            RemoveFile(target);
            continue;
        }
        byChecksum[report.listed.at(problem.name).checksum].push_back(problem.name);
    }
    // Folders are made before the workers start, so that none races another for a level.
    for (const auto& [checksum, names] : byChecksum) {
        for (const std::string& name : names) {
            const std::string target = RequireConfined(layout.game, name, label);
            MakeDirectories(target.substr(0, target.find_last_of("/\\")));
            // A folder where the file belongs (its files were unexpected, so they are gone).
            if (KindOf(target) == EntryKind::kDirectory) RemoveTree(target);
        }
    }
    std::vector<const std::vector<std::string>*> groups;
    for (const auto& entry : byChecksum) groups.push_back(&entry.second);

    std::uint64_t total = 0;
    for (const auto* names : groups) total += names->size();
    std::atomic<std::uint64_t> done{0};
    std::atomic<bool> noStore{false};
    std::exception_ptr failure;
    Mutex failureMutex;
    WorkQueue queue(groups.size());
    LockedStatusSink locked(Status());
    SetStatusSink(&locked);
    // One transfer at a time where threads are held to one (the fault sweep's repeatable runs).
    const unsigned most = WorkerThreadCount() == 1 ? 1 : kParallelTransfers;
    const auto threads = static_cast<unsigned>(std::min<std::size_t>(most, groups.size()));
    RunOnThreads(std::max(1u, threads), [&](unsigned) {
        std::size_t item = 0;
        while (queue.Take(item)) {
            try {
                for (const std::string& name : *groups[item]) {
                    ThrowIfStopped();
                    const std::string fetched = FetchObject(layout, name, report.listed.at(name));
                    if (fetched.empty()) {
                        noStore.store(true);
                        queue.Stop();
                        break;
                    }
                    RenameReplacing(fetched, RequireConfined(layout.game, name, label));
                    Status().Report({ProgressEvent::Kind::kFileDone, name});
                    Status().SetProgress(++done, total);
                }
                const std::string& checksum = report.listed.at(groups[item]->front()).checksum;
                RemoveTree(JoinPath(layout.work, "object-" + checksum));
            } catch (...) {
                const MutexLock lock(failureMutex);
                if (!failure) failure = std::current_exception();
                queue.Stop();
            }
        }
    });
    SetStatusSink(&locked.inner());
    if (failure) std::rethrow_exception(failure);
    return noStore.load() ? RepairResult::kNoStore : RepairResult::kRepaired;
}
