// The one download operation with progress: every file the launcher fetches from its
// servers, except the account API's answers, comes through DownloadFile.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/downloader.h"

// What became of a download, and why it failed in words when the client could tell more
// than the result says ("its certificate has expired"). Stands in for the result itself.
struct TransferOutcome {
    TransferResult result = TransferResult::kCompleted;
    std::string failure;
    operator TransferResult() const { return result; }
};

// Fetches baseUrl + fileName into directory + separator + fileName, showing the file's
// name in the status text and the transfer in the progress bar. The local file is
// removed first and the transfer lands under a temporary name that is renamed into
// place only when complete, so a failed transfer always shows as a missing file, never
// as an older or partial one. A stop of the player's raises WorkStopped.
TransferOutcome DownloadFile(const std::string& baseUrl, const std::string& directory,
                             const std::string& fileName);

// The same steps for a caller that forms its own URL and local path.
TransferOutcome DownloadUrlToFile(const std::string& url, const std::string& localPath);
// As above for request.localPath; a resumable request keeps a broken transfer's bytes in
// PartialPathOf(localPath), beside its note, for the next attempt to continue from.
TransferResult DownloadUrlToFile(TransferRequest& request, DownloadObserver& observer);

std::string PartialPathOf(const std::string& localPath);
// True for the files a resumable transfer keeps between runs: the partial body and its note.
bool IsResumableLeftover(const std::string& fileName);

// Why a transfer failed, as the end of a sentence: "the server could not be reached".
std::string TransferFault(TransferResult result);
// The whole sentence for a failed download of fileName, which label names ("The package
// files-data.zip"): "LABEL could not be downloaded: FAULT.", or for a stall "The download
// of NAME stopped: the server sent nothing for 30 seconds."
std::string DownloadFailureText(const std::string& label, const std::string& fileName,
                                TransferResult result, const std::string& failure = {},
                                const std::string& predicate = "could not be downloaded");
inline std::string DownloadFailureText(const std::string& label, const std::string& fileName,
                                       const TransferOutcome& outcome) {
    return DownloadFailureText(label, fileName, outcome.result, outcome.failure);
}

// "Downloading File NAME (48.0 of 120.0 MiB, 11.2 MiB/s, 7 s left)"; maximum 0 leaves out
// the total and the time left, rate 0 both the rate and the time left.
std::string TransferProgressText(const std::string& name, std::uint64_t position,
                                 std::uint64_t maximum, double bytesPerSecond);

// Status text and progress bar for one transfer, naming the file by the last component
// of `localPath`: the file's name at the start and the end, and while data flows its
// amount, rate and time left.
class DownloadProgress final : public DownloadObserver {
public:
    explicit DownloadProgress(std::string localPath) : localPath(std::move(localPath)) {}
    void OnProgress(std::uint64_t position, std::uint64_t maximum, DownloadPhase phase) override;

    std::string localPath;

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point sampledAt_{};
    std::uint64_t sampledPosition_ = 0;
    double rate_ = 0;
};
