#include "zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <system_error>

#include "deflate_chunk.h"
#include "platform/file_io.h"
#include "publisher.h"
#include "zip_archive_writer.h"

namespace fs = std::filesystem;

namespace {

// A chunk's buffers go back to a spare list once written, so memory stays at the few
// chunks in flight however many files pass.
struct Chunk {
    std::size_t entry = 0;
    bool first = false;
    bool last = false;
    Bytes data;  // as read from the file
    Bytes dictionary;
    Bytes deflatedData;
    std::uint32_t crc = 0;
    std::shared_ptr<bool> deflated;  // the entry's method, which its first chunk decides
    const Bytes& Output() const { return *deflated ? deflatedData : data; }
};

struct InFlight {
    std::shared_ptr<Chunk> chunk;
    WorkPool::Ticket ticket;
};

// The samples ProbeOffsets names, from the first chunk where it holds them.
bool WorthDeflating(const Chunk& first, const fs::path& source, std::uint64_t size) {
    Probe probe;
    UniqueFile file;
    Bytes sample;
    for (const std::uint64_t offset : ProbeOffsets(size)) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(kProbeSize, size - offset));
        if (offset + count <= first.data.size()) {
            probe.Add(first.data.data() + offset, count);
            continue;
        }
        if (!file) file = OpenFile(source.u8string(), "rb");
        sample.resize(count);
        if (!file || !SeekTo(file.get(), offset) ||
            std::fread(sample.data(), 1, count, file.get()) != count) {
            throw PublishError("cannot read " + source.string() + ", or it shrank meanwhile");
        }
        probe.Add(sample.data(), count);
    }
    return probe.WorthDeflating();
}

void Compress(Chunk& chunk, const fs::path& source, std::uint64_t size) {
    chunk.crc = static_cast<std::uint32_t>(
        crc32(0, chunk.data.data(), static_cast<uInt>(chunk.data.size())));
    if (chunk.first) *chunk.deflated = WorthDeflating(chunk, source, size);
    if (*chunk.deflated) DeflateChunk(chunk.data, chunk.dictionary, chunk.last, chunk.deflatedData);
}

}  // namespace

std::size_t ZipBatch::AddArchive(fs::path path) {
    archives_.push_back(std::move(path));
    return archives_.size() - 1;
}

void ZipBatch::AddEntry(fs::path source, std::uint64_t size, std::vector<Copy> copies) {
    entries_.push_back({std::move(source), size, std::move(copies)});
}

void ZipBatch::Write(WorkPool& pool, const ProgressSink& progress) const {
    const AbandonOnThrow guard(pool);  // the jobs read entries_
    PublishProgress done;
    done.step = "writing";
    done.totalFiles = entries_.size();
    std::vector<std::size_t> entriesLeft(archives_.size());
    for (const Entry& entry : entries_) {
        done.totalBytes += entry.size;
        for (const Copy& copy : entry.copies) ++entriesLeft[copy.archive];
    }
    std::vector<bool> named(archives_.size());  // an archive no entry names is an empty zip
    for (std::size_t archive = 0; archive < archives_.size(); ++archive)
        named[archive] = entriesLeft[archive] != 0;
    std::vector<std::unique_ptr<ZipArchiveWriter>> open(archives_.size());
    std::deque<InFlight> inFlight;
    // Enough to keep every worker busy while the writer waits for the oldest chunk.
    const std::size_t maxInFlight = 2 * pool.Threads() + 2;
    std::vector<std::shared_ptr<Chunk>> spare;
    std::uint32_t crc = 0;

    const auto writeOldest = [&] {
        const InFlight oldest = std::move(inFlight.front());
        inFlight.pop_front();
        pool.Wait(oldest.ticket);
        const Chunk& chunk = *oldest.chunk;
        const Entry& entry = entries_[chunk.entry];
        crc = chunk.first ? chunk.crc
                          : static_cast<std::uint32_t>(crc32_combine(
                                crc, chunk.crc, static_cast<z_off_t>(chunk.data.size())));
        const ZipMethod method = *chunk.deflated ? ZipMethod::kDeflate : ZipMethod::kStore;
        for (const Copy& copy : entry.copies) {
            std::unique_ptr<ZipArchiveWriter>& archive = open[copy.archive];
            if (chunk.first && !archive)
                archive = std::make_unique<ZipArchiveWriter>(archives_[copy.archive]);
            if (chunk.first && chunk.last) {  // most files: no going back for the record
                archive->AddEntry(copy.name, entry.size, method, crc, chunk.Output().data(),
                                  chunk.Output().size());
                continue;
            }
            if (chunk.first) archive->BeginEntry(copy.name, entry.size);
            archive->Write(chunk.Output().data(), chunk.Output().size());
            if (chunk.last) archive->EndEntry(method, crc);
        }
        done.bytes += chunk.data.size();
        if (chunk.last) {
            for (const Copy& copy : entry.copies) {
                if (--entriesLeft[copy.archive] == 0) {
                    open[copy.archive]->Finish();
                    open[copy.archive].reset();
                }
            }
            ++done.files;
        }
        if (progress) progress(done);
        spare.push_back(oldest.chunk);
    };

    if (progress) progress(done);
    for (std::size_t index = 0; index < entries_.size(); ++index) {
        const Entry& entry = entries_[index];
        const std::string source = entry.source.string();
        const UniqueFile file = OpenFile(entry.source.u8string(), "rb");
        if (!file) throw PublishError("cannot read " + source);
        const auto deflated = std::make_shared<bool>(false);
        WorkPool::Ticket first;
        Bytes tail;
        std::uint64_t left = entry.size;
        do {
            while (inFlight.size() >= maxInFlight) writeOldest();
            std::shared_ptr<Chunk> chunk;
            if (spare.empty()) {
                chunk = std::make_shared<Chunk>();
            } else {
                chunk = std::move(spare.back());
                spare.pop_back();
            }
            chunk->entry = index;
            chunk->first = !first;
            const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunkSize));
            chunk->data.resize(size);
            if (std::fread(chunk->data.data(), 1, size, file.get()) != size)
                throw PublishError("cannot read " + source + ", or it shrank meanwhile");
            left -= size;
            chunk->last = left == 0;
            if (chunk->last && std::fgetc(file.get()) != EOF)
                throw PublishError(source + " grew while it was being published");
            chunk->dictionary.swap(tail);
            const std::size_t keep = std::min(size, kDictionarySize);
            tail.assign(chunk->data.end() - static_cast<std::ptrdiff_t>(keep), chunk->data.end());
            chunk->deflated = deflated;
            WorkPool::Ticket ticket = pool.Submit([chunk, first, &pool, &entry] {
                // Every later chunk waits for the first, which chose the method.
                if (!chunk->first) pool.Await(first);
                Compress(*chunk, entry.source, entry.size);
            });
            if (!first) first = ticket;
            inFlight.push_back({std::move(chunk), std::move(ticket)});
        } while (left != 0);
    }
    while (!inFlight.empty()) writeOldest();
    for (std::size_t archive = 0; archive < archives_.size(); ++archive) {
        if (!named[archive]) ZipArchiveWriter(archives_[archive]).Finish();
    }
}
