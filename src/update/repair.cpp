#include "update/repair.h"

#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/status_sink.h"
#include "update/download_service.h"
#include "update/install_version.h"
#include "update/signed_release.h"
#include "update/update_error.h"
#include "update/web_servers.h"
#include "update/zip_extract.h"

namespace {

constexpr char kObjectZip[] = "object.zip";
constexpr char kObjectFolder[] = "object";

bool IsChecksum(const std::string& text) {
    if (text.size() != 64) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

// Shows which file is being repaired, with the transfer in the progress bar.
class RepairProgress final : public DownloadObserver {
public:
    explicit RepairProgress(const std::string& name) : name_(name) {}
    void OnProgress(std::uint32_t position, std::uint32_t maximum, DownloadPhase phase) override {
        if (phase == DownloadPhase::kBegin) Status().SetStatusText("Repairing File " + name_);
        Status().SetProgress(position, maximum);
    }

private:
    std::string name_;
};

// Fetches and unpacks the store's copy of one file into the work folder; its path, or
// "" when the tree has no usable copy.
std::string FetchObject(const InstallLayout& layout, const std::string& name,
                        const ListedFile& listed) {
    if (!IsChecksum(listed.checksum)) return "";
    const std::string url = StoreObjectUrl(listed.checksum);
    const std::string zipPath = JoinPath(layout.work, kObjectZip);
    const std::string folder = JoinPath(layout.work, kObjectFolder);
    RemoveFile(zipPath);
    RemoveTree(folder);
    MakeDirectory(folder);
    RepairProgress progress(name);
    const TransferResult result = Net().Download(url, zipPath, &progress);
    Net().ForgetCached(url);
    if (result == TransferResult::kRefused) return "";
    if (result != TransferResult::kCompleted) {
        throw InstallError("The file " + name + " could not be repaired: " + TransferFault(result) +
                           ".");
    }
    std::string detail;
    const int code = ExtractZip(zipPath.c_str(), folder.c_str(), layout.work.c_str(), &detail);
    RemoveFile(zipPath);
    if (code == kExtractWriteFailed || code == kExtractDiskFull ||
        code == kExtractMakeDirectoryFailed) {
        throw InstallError("The file " + name +
                           " could not be repaired: " + ExtractZipFault(code, detail) + ".");
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
    for (const FileProblem& problem : report.problems) {
        const std::string target = RequireConfined(layout.game, problem.name, label);
        RemoveLinksOnPath(layout.game, problem.name);
        if (problem.kind == FileProblemKind::kUnexpected) RemoveFile(target);
    }
    const auto total = static_cast<std::uint32_t>(report.problems.size());
    std::uint32_t done = 0;
    for (const FileProblem& problem : report.problems) {
        ++done;
        if (problem.kind == FileProblemKind::kUnexpected) continue;
        Status().SetStatusText("Repairing File " + problem.name);
        const std::string fetched =
            FetchObject(layout, problem.name, report.listed.at(problem.name));
        if (fetched.empty()) return RepairResult::kNoStore;
        const std::string target = RequireConfined(layout.game, problem.name, label);
        const auto slash = target.find_last_of("/\\");
        MakeDirectories(target.substr(0, slash));
        // A folder where the file belongs (its files were unexpected, so they are gone).
        if (KindOf(target) == EntryKind::kDirectory) RemoveTree(target);
        RenameReplacing(fetched, target);
        Status().SetProgress(done, total);
    }
    RemoveTree(JoinPath(layout.work, kObjectFolder));
    return RepairResult::kRepaired;
}
