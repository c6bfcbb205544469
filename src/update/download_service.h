// The one download operation with progress: every file the launcher fetches from its
// servers, except the account API's answers, comes through DownloadFile.
#pragma once

#include <string>

#include "platform/downloader.h"

// Fetches baseUrl + fileName into directory + separator + fileName, showing the file's
// name in the status text and the transfer in the progress bar. The local file is
// removed first and the transfer lands under a temporary name that is renamed into
// place only when complete, so a failed transfer always shows as a missing file, never
// as an older or partial one.
TransferResult DownloadFile(const std::string& baseUrl, const std::string& directory,
                            const std::string& fileName);

// The same three steps for a caller that forms its own URL and local path.
TransferResult DownloadUrlToFile(const std::string& url, const std::string& localPath);

// Status text and progress bar for one transfer, naming the file by the last component
// of `localPath`.
class DownloadProgress final : public DownloadObserver {
public:
    explicit DownloadProgress(std::string localPath) : localPath(std::move(localPath)) {}
    void OnProgress(std::uint32_t position, std::uint32_t maximum, DownloadPhase phase) override;

    std::string localPath;
};
