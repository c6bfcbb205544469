// fetch_probe: one download through the launcher's HTTP client and download service, as
// the update flow makes it, for the transfer tests against a real local HTTPS server.
//
// usage: fetch_probe URL OUT [--resumable] [--expected BYTES] [--ca PEM] [--stall SECONDS]
//                    [--limit BYTES_PER_SECOND] [--mirror HOST]... [--stop-at BYTES]
//
// --mirror lists the hosts of URL's group in order (URL's own host among them).
// --stop-at asks for a stop once that many bytes of the file are in.
// Prints one JSON line {"result", "failure", "seconds"}.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "net/http_downloader.h"
#include "platform/stop_request.h"
#include "update/download_service.h"

namespace {

const char* Name(TransferResult result) {
    switch (result) {
        case TransferResult::kCompleted:
            return "completed";
        case TransferResult::kRefused:
            return "refused";
        case TransferResult::kUnreachable:
            return "unreachable";
        case TransferResult::kDiskFull:
            return "disk-full";
        case TransferResult::kStalled:
            return "stalled";
        case TransferResult::kUntrusted:
            return "untrusted";
        case TransferResult::kStopped:
            return "stopped";
        case TransferResult::kNotAsPublished:
            return "not-as-published";
    }
    return "?";
}

class StopAt final : public DownloadObserver {
public:
    StopAt(DownloadObserver& inner, std::uint64_t at) : inner_(inner), at_(at) {}
    void OnProgress(std::uint64_t position, std::uint64_t maximum, DownloadPhase phase) override {
        if (at_ != 0 && position >= at_) RequestStop();
        inner_.OnProgress(position, maximum, phase);
    }

private:
    DownloadObserver& inner_;
    std::uint64_t at_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: fetch_probe URL OUT [options]\n", stderr);
        return 64;
    }
    TransferRequest request(argv[1], argv[2]);
    HttpOptions options;
    std::uint64_t limit = 0;
    std::uint64_t stopAt = 0;
    std::vector<std::string> mirrors;
    for (int i = 3; i < argc; ++i) {
        const std::string name = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (name == "--resumable") {
            request.resumable = true;
            continue;
        }
        ++i;
        if (name == "--expected") request.expectedSize = std::strtoull(value, nullptr, 10);
        if (name == "--ca") options.extraCaFile = value;
        if (name == "--stall") options.stallSeconds = static_cast<unsigned>(std::atoi(value));
        if (name == "--limit") limit = std::strtoull(value, nullptr, 10);
        if (name == "--mirror") mirrors.push_back(value);
        if (name == "--stop-at") stopAt = std::strtoull(value, nullptr, 10);
    }
    if (!mirrors.empty()) options.mirrors.push_back(mirrors);
    // Short pauses keep the sweep quick; the rounds are the launcher's.
    options.pauseMilliseconds = {100, 200};
    HttpDownloader downloader(options);
    downloader.SetRateLimit(limit);
    SetDownloader(&downloader);

    const auto start = std::chrono::steady_clock::now();
    DownloadProgress progress(request.localPath);
    StopAt observer(progress, stopAt);
    TransferResult result;
    try {
        result = DownloadUrlToFile(request, observer);
    } catch (const WorkStopped&) {
        result = TransferResult::kStopped;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << nlohmann::json{{"result", Name(result)},
                                {"failure", request.failure},
                                {"seconds", seconds}}
                     .dump()
              << std::endl;
    SetDownloader(nullptr);
    return result == TransferResult::kCompleted ? 0 : 1;
}
