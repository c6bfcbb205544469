#include "delta/delta_writer.h"

#include <zstd.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <vector>

#include "delta/window_choice.h"
#include "hash/sha256.h"
#include "platform/worker_threads.h"

namespace {

struct ContextFree {
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};
using Compressor = std::unique_ptr<ZSTD_CCtx, ContextFree>;

int WindowLogFor(std::uint64_t bytes) {
    int log = 10;  // the least zstd takes
    while ((std::uint64_t{1} << log) < bytes) ++log;
    return log;
}

void Check(std::size_t code) {
    if (ZSTD_isError(code)) throw DeltaError(ZSTD_getErrorName(code));
}

// One block: its header and its frame. Windows lying apart are copied end to end, as
// the reader lays them out.
std::string CompressBlock(ZSTD_CCtx* context, std::string_view base,
                          const std::vector<DeltaWindow>& windows, std::string_view block,
                          int level) {
    std::string joined;
    std::string_view reference;
    if (windows.size() == 1) {
        reference = base.substr(windows[0].offset, windows[0].length);
    } else {
        for (const DeltaWindow& window : windows)
            joined += base.substr(window.offset, window.length);
        reference = joined;
    }
    Check(ZSTD_CCtx_reset(context, ZSTD_reset_session_and_parameters));
    Check(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level));
    Check(ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog,
                                 WindowLogFor(reference.size() + block.size())));
    Check(ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 0));
    if (!reference.empty()) Check(ZSTD_CCtx_refPrefix(context, reference.data(), reference.size()));
    std::string frame(ZSTD_compressBound(block.size()), '\0');
    const std::size_t length =
        ZSTD_compress2(context, frame.data(), frame.size(), block.data(), block.size());
    Check(length);
    frame.resize(length);
    return EncodeBlockHeader(windows, length) + frame;
}

}  // namespace

std::string MakeDelta(std::string_view base, std::string_view target, const DeltaOptions& options) {
    if (options.blockSize == 0 || options.blockSize > kMaxDeltaBlock ||
        options.windowSize > kMaxDeltaWindow) {
        throw DeltaError("block of " + std::to_string(options.blockSize) + " and window of " +
                         std::to_string(options.windowSize) + " bytes are outside the format");
    }
    DeltaHeader header;
    header.baseSize = base.size();
    header.targetSize = target.size();
    header.blockSize = options.blockSize;
    Sha256 hash;
    hash.Update(target.data(), target.size());
    header.targetSha256 = hash.Final();

    const WindowChooser chooser(base, options.windowSize);
    const auto count = static_cast<std::size_t>(header.BlockCount());
    std::vector<std::string> blocks(count);
    std::vector<std::exception_ptr> failures(count);
    WorkQueue queue(count);
    const unsigned threads = std::max(
        1u, std::min<unsigned>(options.threads != 0 ? options.threads : WorkerThreadCount(),
                               static_cast<unsigned>(count)));
    Mutex progressLock;
    std::uint64_t doneBytes = 0;
    RunOnThreads(threads, [&](unsigned worker) {
        Compressor context(ZSTD_createCCtx());
        std::size_t item = 0;
        while (queue.Take(item)) {
            try {
                if (!context) throw std::bad_alloc();
                const std::uint64_t start = std::uint64_t{item} * options.blockSize;
                const std::string_view block = target.substr(
                    start, std::min<std::uint64_t>(options.blockSize, target.size() - start));
                blocks[item] =
                    CompressBlock(context.get(), base, chooser.Choose(block, start, target.size()),
                                  block, options.level);
                if (options.progress) {
                    MutexLock lock(progressLock);
                    doneBytes += block.size();
                    if (worker == 0) options.progress(doneBytes, target.size());
                }
            } catch (...) {
                failures[item] = std::current_exception();
                queue.Stop();
            }
        }
    });
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
    std::string delta = EncodeDeltaHeader(header);
    for (const std::string& block : blocks) delta += block;
    if (options.progress) options.progress(target.size(), target.size());
    return delta;
}

bool DeltaPays(std::string_view target, const std::string& delta) {
    const double limit = kDeltaShare * static_cast<double>(target.size());
    if (static_cast<double>(delta.size()) >= limit) return false;
    std::string compressed(ZSTD_compressBound(target.size()), '\0');
    const std::size_t size = ZSTD_compress(compressed.data(), compressed.size(), target.data(),
                                           target.size(), ZSTD_CLEVEL_DEFAULT);
    Check(size);
    return static_cast<double>(delta.size()) < kDeltaShare * static_cast<double>(size);
}
