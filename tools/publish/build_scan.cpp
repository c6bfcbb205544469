#include "build_scan.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "hash/sha256.h"
#include "platform/file_io.h"
#include "publisher.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kReadSize = 256 * 1024;

struct Counters {
    std::atomic<std::uint64_t> files{0};
    std::atomic<std::uint64_t> bytes{0};
};

// A hash given up on because another file failed; nobody reads it.
struct Abandoned {};

std::string Hash(const fs::path& path, std::uint64_t size, const WorkPool* pool,
                 Counters* counters) {
    const UniqueFile file = OpenFile(path.u8string(), "rb");
    if (!file) throw PublishError("cannot read " + path.string());
    Sha256 hash;
    std::vector<unsigned char> buffer(std::clamp<std::uint64_t>(size, 1, kReadSize));
    while (std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get())) {
        hash.Update(buffer.data(), got);
        if (counters) counters->bytes += got;
        if (pool && pool->Stopped()) throw Abandoned();
    }
    if (std::ferror(file.get())) throw PublishError("cannot read " + path.string());
    return ToUpperHex(hash.Final());
}

}  // namespace

std::string FileHash(const fs::path& path) {
    std::error_code ignored;
    return Hash(path, fs::file_size(path, ignored), nullptr, nullptr);
}

BuildFiles ScanBuild(const fs::path& directory, WorkPool& pool, const ProgressSink& progress) {
    BuildFiles files;
    if (directory.empty() || !fs::exists(directory)) return files;
    PublishProgress state;
    state.step = "hashing";
    for (const auto& entry : fs::recursive_directory_iterator(directory)) {
        if (!entry.is_regular_file()) continue;
        BuildFile& file = files[entry.path().lexically_relative(directory).generic_u8string()];
        file.size = entry.file_size();
        state.totalBytes += file.size;
    }
    state.totalFiles = files.size();
    // Largest first, so no worker is left with a big file at the end while others idle.
    std::vector<BuildFiles::value_type*> order;
    for (auto& named : files) order.push_back(&named);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto* a, const auto* b) { return a->second.size > b->second.size; });
    Sha256 warm;  // its engine is chosen once, here, before any worker asks
    Counters counters;
    if (progress) progress(state);
    const AbandonOnThrow guard(pool);
    for (auto* named : order) {
        pool.Submit([&, named] {
            named->second.checksum =
                Hash(directory / fs::u8path(named->first), named->second.size, &pool, &counters);
            ++counters.files;
        });
    }
    const auto report = [&] {
        state.files = counters.files;
        state.bytes = counters.bytes;
        if (progress) progress(state);
    };
    pool.WaitAll(report);
    report();
    return files;
}
