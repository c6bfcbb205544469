// How portable code fetches a URL into a file. The launcher's implementation is the HTTP
// client (net/); tests and tools may copy from a folder laid out like the servers.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

enum class DownloadPhase { kBegin, kData, kEnd };

class DownloadObserver {
public:
    virtual ~DownloadObserver() = default;
    // maximum is 0 while the size is unknown.
    virtual void OnProgress(std::uint64_t position, std::uint64_t maximum, DownloadPhase phase) = 0;
};

enum class TransferResult {
    kCompleted,    // the body is in the file
    kRefused,      // the server answered, but with an error status or a body that cannot be right
    kUnreachable,  // no answer: no connection, name not resolved, the connection dropped
    kDiskFull,     // the body could not be stored: the local disk is full
    kStalled,      // the server stopped sending, on every try
    kUntrusted,    // the server's certificate was refused
    kStopped,      // the player stopped the work
    // The body contradicts the size the request expected (a signed size): not the
    // published file, as surely as a wrong checksum would say.
    kNotAsPublished,
};

struct TransferRequest {
    TransferRequest(std::string url, std::string localPath, bool resumable = false,
                    std::uint64_t expectedSize = 0)
        : url(std::move(url)),
          localPath(std::move(localPath)),
          resumable(resumable),
          expectedSize(expectedSize) {}

    std::string url;
    std::string localPath;
    // A broken transfer keeps its bytes at localPath, with a note of the URL and of the
    // server's validator beside it (ResumeNotePath), and the next request of the same URL
    // continues from them, in this run or a later one.
    bool resumable = false;
    // The size a signed document gives the file, 0 when unknown: a body that claims or
    // sends more is refused before it fills the disk.
    std::uint64_t expectedSize = 0;

    // Filled in by the downloader: why the transfer failed, in words, when it can tell more
    // than the result says ("the certificate is for another host name").
    std::string failure;
};

// Where the note of a resumable transfer into localPath lies.
inline std::string ResumeNotePath(const std::string& localPath) { return localPath + ".resume"; }

class Downloader {
public:
    virtual ~Downloader() = default;
    // Synchronous: fetches request.url into request.localPath, reporting progress to
    // observer (which may be null) on the calling thread. Safe to call from several threads
    // at once.
    virtual TransferResult Fetch(TransferRequest& request, DownloadObserver* observer) = 0;
    // Drops any cached copy of url, so that its next fetch reaches the server.
    virtual void ForgetCached(const std::string& url) = 0;

    TransferResult Download(const std::string& url, const std::string& localPath,
                            DownloadObserver* observer) {
        TransferRequest request{url, localPath};
        return Fetch(request, observer);
    }
};

// The process-wide downloader, installed once at start-up (or by a test fixture).
void SetDownloader(Downloader* downloader);
Downloader& Net();
