// A Downloader that serves URLs from local folders laid out like the servers: each
// base URL maps to a folder, and the rest of the URL is a path below it. Unit tests
// and `kestrava-publish verify` use it in place of the network.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/downloader.h"

class FolderDownloader final : public Downloader {
public:
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
};
