#include "update/download_service.h"

#include <cerrno>
#include <cstdio>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/status_sink.h"
#include "platform/stop_request.h"

namespace {

constexpr char kPartialSuffix[] = ".part";
// How often the rate is measured and the text redrawn; the bar follows every report.
constexpr std::chrono::milliseconds kTextInterval{500};

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Amount(double bytes, double unit) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", bytes / unit);
    return text;
}

std::string TimeLeft(double seconds) {
    const auto whole = static_cast<std::uint64_t>(seconds + 0.5);
    if (whole < 60) return std::to_string(whole) + " s left";
    if (whole < 3600)
        return std::to_string(whole / 60) + " min " + std::to_string(whole % 60) + " s left";
    return std::to_string(whole / 3600) + " h " + std::to_string(whole / 60 % 60) + " min left";
}

}  // namespace

std::string TransferProgressText(const std::string& name, std::uint64_t position,
                                 std::uint64_t maximum, double bytesPerSecond) {
    const double mib = 1024.0 * 1024.0;
    const double unit = (maximum != 0 ? maximum : position) >= 1024 * 1024 ? mib : 1024.0;
    const char* unitName = unit == mib ? "MiB" : "KiB";
    std::string text =
        "Downloading File " + name + " (" + Amount(static_cast<double>(position), unit);
    if (maximum != 0) text += " of " + Amount(static_cast<double>(maximum), unit);
    text += std::string(" ") + unitName;
    if (bytesPerSecond > 0) {
        const bool fast = bytesPerSecond >= mib;
        text += ", " + Amount(bytesPerSecond, fast ? mib : 1024.0) + (fast ? " MiB/s" : " KiB/s");
        if (maximum > position) {
            text += ", " + TimeLeft(static_cast<double>(maximum - position) / bytesPerSecond);
        }
    }
    return text + ")";
}

void DownloadProgress::OnProgress(std::uint64_t position, std::uint64_t maximum,
                                  DownloadPhase phase) {
    const std::string name = FileNameOf(localPath);
    const Clock::time_point now = Clock::now();
    if (phase == DownloadPhase::kBegin) {
        Status().SetStatusText("Downloading File " + name);
        Status().Report({ProgressEvent::Kind::kFileStarted, name, position, maximum});
        sampledAt_ = now;
        sampledPosition_ = position;
        rate_ = 0;
    }
    if (phase == DownloadPhase::kData && now - sampledAt_ >= kTextInterval) {
        const double seconds = std::chrono::duration<double>(now - sampledAt_).count();
        const double recent = position > sampledPosition_
                                  ? static_cast<double>(position - sampledPosition_) / seconds
                                  : 0;
        // Smoothed, so that the time left does not jump with every burst of the line.
        rate_ = rate_ == 0 ? recent : 0.7 * rate_ + 0.3 * recent;
        sampledAt_ = now;
        sampledPosition_ = position;
        Status().SetStatusText(TransferProgressText(name, position, maximum, rate_));
        Status().Report({ProgressEvent::Kind::kFileBytes, name, position, maximum});
    }
    if (phase == DownloadPhase::kEnd) {
        Status().SetStatusText("Finished downloading File " + name);
        Status().Report({ProgressEvent::Kind::kFileDone, name, position, maximum});
    }
    Status().SetProgress(position, maximum);
}

std::string PartialPathOf(const std::string& localPath) { return localPath + kPartialSuffix; }

bool IsResumableLeftover(const std::string& fileName) {
    return EndsWith(fileName, kPartialSuffix) || EndsWith(fileName, ResumeNotePath(kPartialSuffix));
}

TransferResult DownloadUrlToFile(TransferRequest& request, DownloadObserver& observer) {
    // Each transfer is a step the player's Stop may end the work at, whatever the downloader.
    ThrowIfStopped();
    const std::string localPath = request.localPath;
    const std::string partial = PartialPathOf(localPath);
    const auto dropPartial = [&] {
        RemoveFileIfPresent(ResumeNotePath(partial));
        RemoveFileIfPresent(partial);
    };
    RemoveFileIfPresent(localPath);
    if (!request.resumable) dropPartial();
    request.localPath = partial;
    TransferResult result = Net().Fetch(request, &observer);
    request.localPath = localPath;
    Net().ForgetCached(request.url);
    // A file that cannot be put in place has not arrived, whatever the server sent.
    if (result == TransferResult::kCompleted && !MoveFileOver(partial, localPath)) {
        result = errno == ENOSPC ? TransferResult::kDiskFull : TransferResult::kRefused;
    }
    if (result == TransferResult::kCompleted) {
        RemoveFileIfPresent(ResumeNotePath(partial));
    } else if (!request.resumable || result == TransferResult::kRefused ||
               result == TransferResult::kNotAsPublished || result == TransferResult::kDiskFull) {
        // Only bytes of a file that may still be resumed are worth their space.
        dropPartial();
    }
    if (result == TransferResult::kStopped) throw WorkStopped();
    return result;
}

TransferOutcome DownloadUrlToFile(const std::string& url, const std::string& localPath) {
    TransferRequest request{url, localPath};
    DownloadProgress progress(localPath);
    const TransferResult result = DownloadUrlToFile(request, progress);
    return {result, request.failure};
}

TransferOutcome DownloadFile(const std::string& baseUrl, const std::string& directory,
                             const std::string& fileName) {
    return DownloadUrlToFile(baseUrl + fileName, JoinPath(directory, fileName));
}

std::string TransferFault(TransferResult result) {
    switch (result) {
        case TransferResult::kCompleted:
            return "no fault";
        case TransferResult::kRefused:
            return "the server refused it";
        case TransferResult::kUnreachable:
            return "the server could not be reached";
        case TransferResult::kDiskFull:
            return DescribeErrno(ENOSPC);
        case TransferResult::kStalled:
            return "the server sent nothing for 30 seconds";
        case TransferResult::kUntrusted:
            return "the server's certificate was refused";
        case TransferResult::kStopped:
            return "it was stopped";
        case TransferResult::kNotAsPublished:
            return "the server's file is not the published one";
    }
    return "it did not arrive";
}

std::string DownloadFailureText(const std::string& label, const std::string& fileName,
                                TransferResult result, const std::string& failure,
                                const std::string& predicate) {
    if (result == TransferResult::kStalled) {
        return "The download of " + FileNameOf(fileName) +
               " stopped: " + (failure.empty() ? TransferFault(result) : failure) + ".";
    }
    std::string text = label + " " + predicate + ": " + TransferFault(result);
    if (!failure.empty()) text += " (" + failure + ")";
    return text + ".";
}
