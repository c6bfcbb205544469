#include "update/validation.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <iterator>
#include <memory>
#include <set>

#include "hash/sha256.h"
#include "platform/file_in_use.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/status_sink.h"
#include "platform/stop_request.h"
#include "platform/worker_threads.h"
#include "update/documents.h"
#include "update/lane_hasher.h"
#include "update/update_error.h"

namespace {

constexpr std::size_t kChunk = 1 << 20;
constexpr char kManifestName[] = "manifest.validate.xml";

std::string RelativeName(const std::string& root, const std::string& fullPath) {
    std::string name = fullPath.substr(root.size() + 1);
    for (char& c : name) {
        if (c == '\\') c = '/';
    }
    return name;
}

struct WalkedFile {
    std::string path;
    std::uint64_t size;  // only looked up when the largest go first
};

void Walk(const std::string& current, bool sizes, std::vector<WalkedFile>& files) {
    std::vector<std::string> directories;
    for (const std::string& entry : ListDirectory(current)) {
        std::string fullPath = JoinPath(current, entry);
        const EntryKind kind = KindOf(fullPath);
        if (kind == EntryKind::kFile) {
            const std::uint64_t size = sizes ? RegularFileSize(fullPath).value_or(0) : 0;
            files.push_back({std::move(fullPath), size});
        } else if (kind == EntryKind::kDirectory) {
            directories.push_back(entry);
        }
    }
    for (const std::string& directory : directories) {
        Walk(JoinPath(current, directory), sizes, files);
    }
}

// One stream on one thread hashes in walk order, as the status always named the files.
// Several threads, or lanes, take the largest first, so that none is left alone with a big
// archive at the end (a lane, which moves at an eighth of its thread's pace, even less).
bool LargestFirst(unsigned threads, bool lanes) { return threads > 1 || lanes; }

std::vector<std::size_t> HashingOrder(const std::vector<WalkedFile>& files, bool largestFirst) {
    std::vector<std::size_t> order(files.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (largestFirst) {
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return files[a].size > files[b].size;
        });
    }
    return order;
}

// A file another program holds is no fault of the build.
std::exception_ptr UnreadableFile(const std::string& path, const std::string& name, int error) {
    if (error == kFileInUseErrno)
        return std::make_exception_ptr(FileInUseError(name, ProgramsHolding(path)));
    return std::make_exception_ptr(
        ValidationError("The file " + name + " could not be read (" + ErrnoText(error) + ")."));
}

// The shared queue as a worker's lane hasher sees it.
class QueueFeed final : public FileHashFeed {
public:
    using Finish = std::function<void(std::size_t file, std::exception_ptr failure)>;
    QueueFeed(const std::string& root, const std::vector<WalkedFile>& files,
              const std::vector<std::size_t>& order, WorkQueue& queue, unsigned threads,
              std::atomic<std::uint64_t>& untaken, std::vector<FileChecksum>& results,
              Finish finish)
        : root_(root),
          files_(files),
          order_(order),
          queue_(queue),
          threads_(threads),
          untaken_(untaken),
          results_(results),
          finish_(std::move(finish)) {}

    bool Take(std::size_t& file, std::string& path) override {
        std::size_t item = 0;
        if (!queue_.Take(item)) return false;
        file = order_[item];
        path = files_[file].path;
        left_ = untaken_.fetch_sub(files_[file].size);
        return true;
    }
    bool Stopped() const override { return queue_.Stopped(); }
    // Eight lanes cost about two single streams, so the pool gets through what was left
    // when the file was taken (left_, the file included) in about the time one stream
    // takes for left_ / (4 * threads).
    bool TooLargeForALane(std::size_t file) const override {
        return files_[file].size * 4 * threads_ > left_;
    }
    void Hashed(std::size_t file, const Sha256Digest& digest) override {
        const std::string& path = files_[file].path;
        results_[file] = {path, ToUpperHex(digest), RelativeName(root_, path)};
        finish_(file, nullptr);
    }
    void Unreadable(std::size_t file, int error) override {
        const std::string name = RelativeName(root_, files_[file].path);
        finish_(file, UnreadableFile(files_[file].path, name, error));
    }

private:
    const std::string& root_;
    const std::vector<WalkedFile>& files_;
    const std::vector<std::size_t>& order_;
    WorkQueue& queue_;
    const unsigned threads_;
    std::atomic<std::uint64_t>& untaken_;  // bytes of the files no thread has taken yet
    std::uint64_t left_ = 0;               // untaken_ as this thread took its last file
    std::vector<FileChecksum>& results_;
    Finish finish_;
};

std::vector<FileChecksum> HashFiles(const std::string& root, const std::vector<WalkedFile>& files,
                                    unsigned threads, bool lanes) {
    const std::size_t count = files.size();
    const std::vector<std::size_t> order = HashingOrder(files, LargestFirst(threads, lanes));
    std::vector<FileChecksum> results(count);
    std::vector<std::exception_ptr> failures(count);
    std::vector<ChecksumReader> readers(lanes ? 0 : threads);
    std::vector<LaneHasher> laneHashers(lanes ? threads : 0);
    // Files in the order they are done, each slot published to the calling thread, which
    // alone talks to the status sink (the window's is not made for several threads).
    std::vector<std::size_t> done(count);
    std::unique_ptr<std::atomic<bool>[]> published(new std::atomic<bool>[count]());
    std::atomic<std::size_t> doneCount{0};
    std::size_t shown = 0;
    const auto showDone = [&] {
        for (; shown < count && published[shown].load(std::memory_order_acquire); ++shown) {
            Status().SetStatusText("Loading File " + FileNameOf(files[done[shown]].path));
        }
    };
    WorkQueue queue(count);
    std::atomic<std::uint64_t> untaken{0};
    for (const WalkedFile& file : files) untaken += file.size;
    const auto finish = [&](unsigned worker, std::size_t i, std::exception_ptr failure) {
        // A stop ends the check after the file in hand, as a failure to read one would.
        if (!failure && StopRequested()) failure = std::make_exception_ptr(WorkStopped());
        if (failure) {
            failures[i] = failure;
            queue.Stop();
        }
        const std::size_t slot = doneCount.fetch_add(1);
        done[slot] = i;
        published[slot].store(true, std::memory_order_release);
        if (worker == 0) showDone();
    };
    std::exception_ptr sinkFailure;
    RunOnThreads(threads, [&](unsigned worker) {
        QueueFeed feed(
            root, files, order, queue, threads, untaken, results,
            [&](std::size_t i, std::exception_ptr failure) { finish(worker, i, failure); });
        try {
            if (lanes) {
                laneHashers[worker].Run(feed);
                return;
            }
            std::size_t i = 0;
            std::string path;
            while (feed.Take(i, path)) {
                std::exception_ptr failure;
                try {
                    results[i] = readers[worker].Read(root, path);
                } catch (...) {
                    failure = std::current_exception();
                }
                finish(worker, i, failure);
            }
        } catch (...) {  // only the calling thread's status calls can land here
            sinkFailure = std::current_exception();
            queue.Stop();
        }
    });
    if (sinkFailure) std::rethrow_exception(sinkFailure);
    showDone();
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
    return results;
}

}  // namespace

ChecksumReader::ChecksumReader() : buffer_(kChunk) {}

FileChecksum ChecksumReader::Read(const std::string& root, const std::string& fullPath) {
    FileChecksum record;
    record.path = fullPath;
    record.name = RelativeName(root, fullPath);
    UniqueFile file = OpenFile(fullPath, "rb");
    if (!file) std::rethrow_exception(UnreadableFile(fullPath, record.name, errno));
    Sha256 hash;
    for (;;) {
        const std::size_t got = std::fread(buffer_.data(), 1, buffer_.size(), file.get());
        hash.Update(buffer_.data(), got);
        if (got < buffer_.size()) break;
    }
    if (std::ferror(file.get()))
        std::rethrow_exception(UnreadableFile(fullPath, record.name, errno));
    record.checksum = ToUpperHex(hash.Final());
    return record;
}

void LoadFiles(const std::string& root, const std::string& current,
               std::vector<FileChecksum>& list) {
    const unsigned threads = WorkerThreadCount();
    std::vector<WalkedFile> files;
    const bool lanes = Sha256LanesPay();
    Walk(current, LargestFirst(threads, lanes), files);
    const auto used = static_cast<unsigned>(std::min<std::size_t>(threads, files.size()));
    std::vector<FileChecksum> found = HashFiles(root, files, std::max(used, 1u), lanes);
    list.insert(list.end(), std::make_move_iterator(found.begin()),
                std::make_move_iterator(found.end()));
}

ValidationReport ValidateBuild(const std::string& manifestPath, const std::string& directory,
                               const std::string& label) {
    std::vector<FileChecksum> found;
    LoadFiles(directory, directory, found);

    Status().SetStatusText("Validating Files");
    ValidationReport report;
    report.listed = LoadValidationManifest(manifestPath, label);
    const bool manifestInside = manifestPath == JoinPath(directory, kManifestName);
    std::set<std::string> seen;
    for (const FileChecksum& file : found) {
        if (manifestInside && file.name == kManifestName) continue;
        seen.insert(file.name);
        const auto listed = report.listed.find(file.name);
        if (listed == report.listed.end()) {
            report.problems.push_back({file.name, FileProblemKind::kUnexpected});
        } else if (listed->second.checksum != file.checksum) {
            report.problems.push_back({file.name, FileProblemKind::kChanged});
        }
    }
    for (const auto& [name, file] : report.listed) {
        if (seen.count(name) == 0) report.problems.push_back({name, FileProblemKind::kMissing});
    }
    return report;
}

std::string ValidationReport::Describe(std::size_t most) const {
    static const char* const kKinds[] = {"missing", "changed", "unexpected"};
    std::string text;
    for (std::size_t i = 0; i < problems.size() && i < most; ++i) {
        if (!text.empty()) text += "\n";
        text += std::string(kKinds[static_cast<int>(problems[i].kind)]) + ": " + problems[i].name;
    }
    if (problems.size() > most) {
        text += "\n... and " + std::to_string(problems.size() - most) + " more";
    }
    return text;
}

bool ValidateFiles(const std::string& manifestPath, const std::string& directory) {
    return ValidateFiles(manifestPath, directory, FileNameOf(manifestPath));
}

bool ValidateFiles(const std::string& manifestPath, const std::string& directory,
                   const std::string& label) {
    return ValidateBuild(manifestPath, directory, label).ok();
}

bool ListedFilesPresent(const ValidationList& listed, const std::string& directory) {
    for (const auto& [name, file] : listed) {
        const auto size = RegularFileSize(JoinPath(directory, name));
        if (!size || (file.size && *file.size != *size)) return false;
    }
    return true;
}
