// The launcher's one HTTP client, over libcurl on every platform: a stall ends an attempt,
// a broken transfer resumes by byte range (If-Range on the server's validator, so a file
// that changed starts over), attempts go from mirror to mirror with a pause between
// rounds, the player's stop aborts at once, and one speed limit holds over all transfers.
// Certificates and host names are always checked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/mirrors.h"
#include "net/rate_limiter.h"
#include "platform/downloader.h"
#include "platform/worker_threads.h"

struct HttpOptions {
    std::vector<std::vector<std::string>> mirrors;  // see MirrorList
    // A private certificate authority trusted besides the system's (a file of PEM).
    std::string extraCaFile;
    unsigned stallSeconds = 30;    // no byte for this long ends an attempt
    unsigned connectSeconds = 15;  // likewise before the connection stands
    unsigned rounds = 3;           // over every mirror, before the transfer fails
    // Pauses before the second and later rounds; the last one repeats.
    std::vector<unsigned> pauseMilliseconds{1000, 4000};
};

class HttpDownloader final : public Downloader {
public:
    explicit HttpDownloader(HttpOptions options = {});
    ~HttpDownloader() override;
    HttpDownloader(const HttpDownloader&) = delete;
    HttpDownloader& operator=(const HttpDownloader&) = delete;

    // Bytes per second over every transfer at once, 0 for none; from the next bytes on.
    void SetRateLimit(std::uint64_t bytesPerSecond) { limiter_.SetLimit(bytesPerSecond); }

    TransferResult Fetch(TransferRequest& request, DownloadObserver* observer) override;
    // Nothing is cached: every fetch reaches a server.
    void ForgetCached(const std::string&) override {}

private:
    struct Attempt;
    void* Acquire();
    void Release(void* handle);
    TransferResult Try(const std::string& url, TransferRequest& request, DownloadObserver* observer,
                       bool& progressed);

    HttpOptions options_;
    MirrorList mirrors_;
    RateLimiter limiter_;
    Mutex poolMutex_;
    std::vector<void*> idleHandles_;  // each keeps its connections open for the next transfer
};
