#pragma once

#include "platform/downloader.h"

// Downloads with the system's URL moniker (URLDownloadToFileA) and its internet cache.
// The calling thread must have joined a COM apartment (platform/win32/com_apartment.h).
class UrlDownloader final : public Downloader {
public:
    TransferResult Fetch(TransferRequest& request, DownloadObserver* observer) override;
    void ForgetCached(const std::string& url) override;
};
