#include "platform/folder_downloader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/file_io.h"
#include "platform/path.h"

namespace {

constexpr std::size_t kChunk = 64 * 1024;

// As the system's download reports a full disk, and any other local failure as a
// transfer that did not complete.
TransferResult LocalFailure() {
    return errno == ENOSPC ? TransferResult::kDiskFull : TransferResult::kUnreachable;
}

}  // namespace

void FolderDownloader::Map(const std::string& baseUrl, const std::string& folder) {
    folders_[baseUrl] = folder;
}

void FolderDownloader::FailOn(const std::string& url, TransferResult result) {
    failures_[url] = result;
}

void FolderDownloader::CutOff(const std::string& url, std::uint64_t bytes) {
    cutOffs_[url] = bytes;
}

void FolderDownloader::Clear(const std::string& url) {
    failures_.erase(url);
    cutOffs_.erase(url);
}

void FolderDownloader::ForgetCached(const std::string& url) {
    const MutexLock lock(mutex_);
    forgotten_.push_back(url);
}

std::string FolderDownloader::LocalPathOf(const std::string& url) const {
    const std::pair<const std::string, std::string>* best = nullptr;
    for (const auto& mapping : folders_) {
        if (url.compare(0, mapping.first.size(), mapping.first) == 0 &&
            (best == nullptr || mapping.first.size() > best->first.size())) {
            best = &mapping;
        }
    }
    if (best == nullptr) return {};
    const std::string rest = url.substr(best->first.size());
    // A URL never climbs out of its folder, as no web server would let it.
    if (rest.empty() || rest.find("..") != std::string::npos) return {};
    return JoinPath(best->second, rest);
}

TransferResult FolderDownloader::Fetch(TransferRequest& request, DownloadObserver* observer) {
    const std::string& url = request.url;
    const std::string& localPath = request.localPath;
    std::uint64_t limit = ~std::uint64_t{0};
    {
        const MutexLock lock(mutex_);
        requests_.push_back(url);
        const auto failure = failures_.find(url);
        if (failure != failures_.end()) return failure->second;
        const auto cut = cutOffs_.find(url);
        if (cut != cutOffs_.end()) limit = cut->second;
    }

    const std::string source = LocalPathOf(url);
    if (source.empty()) return TransferResult::kUnreachable;
    UniqueFile in = OpenFile(source, "rb");
    if (!in) return TransferResult::kRefused;
    std::uint64_t size = 0;
    std::vector<char> buffer(kChunk);
    while (std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get())) size += got;
    if (std::ferror(in.get()) || std::fseek(in.get(), 0, SEEK_SET) != 0) {
        return TransferResult::kRefused;
    }

    UniqueFile out = OpenFile(localPath, "wb");
    if (!out) return LocalFailure();
    limit = std::min(limit, size);
    if (observer != nullptr) observer->OnProgress(0, size, DownloadPhase::kBegin);
    std::uint64_t done = 0;
    while (done < size) {
        if (done >= limit) return TransferResult::kUnreachable;
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(buffer.size(), std::min(size, limit) - done));
        const std::size_t got = std::fread(buffer.data(), 1, want, in.get());
        if (got == 0) return TransferResult::kUnreachable;
        if (std::fwrite(buffer.data(), 1, got, out.get()) != got) return LocalFailure();
        done += got;
        if (observer != nullptr) {
            observer->OnProgress(done, size, DownloadPhase::kData);
        }
    }
    if (std::fclose(out.release()) != 0) return LocalFailure();
    if (observer != nullptr) {
        observer->OnProgress(done, size, DownloadPhase::kEnd);
    }
    return TransferResult::kCompleted;
}
