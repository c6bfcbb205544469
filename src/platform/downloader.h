// How portable code fetches a URL into a file. The launcher's implementation is the
// system's URL download; tests and tools copy from a folder laid out like the servers.
#pragma once

#include <cstdint>
#include <string>

enum class DownloadPhase { kBegin, kData, kEnd };

class DownloadObserver {
public:
    virtual ~DownloadObserver() = default;
    virtual void OnProgress(std::uint32_t position, std::uint32_t maximum, DownloadPhase phase) = 0;
};

enum class TransferResult {
    kCompleted,    // the body is in the file
    kRefused,      // the server answered, but with an error status
    kUnreachable,  // no answer: no connection, name not resolved, TLS failure
    kDiskFull,     // the body could not be stored: the local disk is full
};

class Downloader {
public:
    virtual ~Downloader() = default;
    // Synchronous: fetches `url` into `localPath`, reporting progress to `observer`
    // (which may be null) on the calling thread.
    virtual TransferResult Download(const std::string& url, const std::string& localPath,
                                    DownloadObserver* observer) = 0;
    // Drops any cached copy of `url`, so that its next fetch reaches the server.
    virtual void ForgetCached(const std::string& url) = 0;
};

// The process-wide downloader, installed once at start-up (or by a test fixture).
void SetDownloader(Downloader* downloader);
Downloader& Net();
