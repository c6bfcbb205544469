// A Downloader that serves URLs from local folders laid out like the servers: each
// base URL maps to a folder, and the rest of the URL is a path below it. Unit tests
// and `kestrava-publish verify` use it in place of the network, kestrava-install for a
// release tree on a local disk.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/downloader.h"
#include "platform/worker_threads.h"

class FolderDownloader final : public Downloader {
public:
    FolderDownloader() = default;
    // Takes another's folders, faults and records; the lock stays this one's.
    FolderDownloader& operator=(FolderDownloader&& other) noexcept {
        folders_ = std::move(other.folders_);
        failures_ = std::move(other.failures_);
        cutOffs_ = std::move(other.cutOffs_);
        requests_ = std::move(other.requests_);
        forgotten_ = std::move(other.forgotten_);
        return *this;
    }

    // URLs that start with baseUrl are read from folder (the longest match wins).
    void Map(const std::string& baseUrl, const std::string& folder);
    // The next fetches of url end with result (kRefused or kUnreachable) and write nothing.
    void FailOn(const std::string& url, TransferResult result = TransferResult::kUnreachable);
    // As a server that stops mid-body: `bytes` bytes arrive, then the transfer fails.
    void CutOff(const std::string& url, std::uint64_t bytes);
    void Clear(const std::string& url);

    // Always starts over: a folder has no byte ranges to resume from.
    TransferResult Fetch(TransferRequest& request, DownloadObserver* observer) override;
    void ForgetCached(const std::string& url) override;

    // Every URL asked for, in order, and every URL whose cache entry was dropped.
    const std::vector<std::string>& requests() const { return requests_; }
    const std::vector<std::string>& forgotten() const { return forgotten_; }

private:
    std::string LocalPathOf(const std::string& url) const;

    std::map<std::string, std::string> folders_;
    std::map<std::string, TransferResult> failures_;
    std::map<std::string, std::uint64_t> cutOffs_;
    std::vector<std::string> requests_;
    std::vector<std::string> forgotten_;
    Mutex mutex_;  // transfers may run on several threads at once
};
