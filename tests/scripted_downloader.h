// A downloader that answers each URL with a scripted result and body, and records what
// was asked, for tests of code that talks to the servers.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/downloader.h"
#include "temp_dir.h"

class ScriptedDownloader final : public Downloader {
public:
    struct Answer {
        TransferResult result = TransferResult::kCompleted;
        std::string body;
    };

    ScriptedDownloader() { SetDownloader(this); }
    ~ScriptedDownloader() override { SetDownloader(nullptr); }

    void Serve(const std::string& url, std::string body) {
        answers_[url] = {TransferResult::kCompleted, std::move(body)};
    }
    void Fail(const std::string& url, TransferResult result) { answers_[url] = {result, ""}; }

    TransferResult Fetch(TransferRequest& request, DownloadObserver* observer) override {
        const std::string& url = request.url;
        requests.push_back(url);
        const auto found = answers_.find(url);
        const Answer answer =
            found != answers_.end() ? found->second : Answer{TransferResult::kRefused, ""};
        if (answer.result != TransferResult::kCompleted) return answer.result;
        const std::uint64_t size = answer.body.size();
        if (observer != nullptr) observer->OnProgress(0, size, DownloadPhase::kBegin);
        WriteBytes(request.localPath, answer.body);
        if (observer != nullptr) observer->OnProgress(size, size, DownloadPhase::kEnd);
        return TransferResult::kCompleted;
    }
    void ForgetCached(const std::string& url) override { forgotten.push_back(url); }

    std::vector<std::string> requests;
    std::vector<std::string> forgotten;

private:
    std::map<std::string, Answer> answers_;
};
