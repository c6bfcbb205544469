#include "update/download_service.h"

#include <cerrno>
#include <cstdio>

#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/status_sink.h"

void DownloadProgress::OnProgress(std::uint32_t position, std::uint32_t maximum,
                                  DownloadPhase phase) {
    const std::string name = FileNameOf(localPath);
    if (phase == DownloadPhase::kBegin) Status().SetStatusText("Downloading File " + name);
    if (phase == DownloadPhase::kEnd) Status().SetStatusText("Finished downloading File " + name);
    Status().SetProgress(position, maximum);
}

TransferResult DownloadUrlToFile(const std::string& url, const std::string& localPath) {
    const std::string partial = localPath + ".part";
    RemoveFileIfPresent(localPath);
    RemoveFileIfPresent(partial);
    DownloadProgress progress(localPath);
    TransferResult result = Net().Download(url, partial, &progress);
    Net().ForgetCached(url);
    // A file that cannot be put in place has not arrived, whatever the server sent.
    if (result == TransferResult::kCompleted && !MoveFileOver(partial, localPath)) {
        result = errno == ENOSPC ? TransferResult::kDiskFull : TransferResult::kRefused;
    }
    if (result != TransferResult::kCompleted) RemoveFileIfPresent(partial);
    return result;
}

TransferResult DownloadFile(const std::string& baseUrl, const std::string& directory,
                            const std::string& fileName) {
    return DownloadUrlToFile(baseUrl + fileName, JoinPath(directory, fileName));
}
