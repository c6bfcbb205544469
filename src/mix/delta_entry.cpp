#include "mix/delta_entry.h"

#include <algorithm>
#include <limits>
#include <numeric>

#include "delta/delta_reader.h"
#include "mix/mix_error.h"

namespace {

// Reads a stream's bytes, as many as asked for unless it ends first.
std::size_t ReadFully(Stream& stream, void* buffer, std::size_t count) {
    auto* out = static_cast<char*>(buffer);
    std::size_t got = 0;
    while (got < count) {
        const auto want = static_cast<std::uint32_t>(
            std::min<std::size_t>(count - got, std::numeric_limits<std::int32_t>::max()));
        const std::int32_t n = stream.Read(out + got, want);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// The old entries end to end, read at any offset: straight from their archive where
// they lie in one, otherwise through their streams.
class EntriesBase final : public DeltaBase {
public:
    explicit EntriesBase(const std::vector<MixArchiveEntry*>& entries) : entries_(entries) {
        starts_.push_back(0);
        for (const MixArchiveEntry* entry : entries)
            starts_.push_back(starts_.back() + entry->size);
    }
    std::uint64_t size() const override { return starts_.back(); }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
        auto* out = static_cast<char*>(buffer);
        // The first entry that ends past offset.
        std::size_t index = static_cast<std::size_t>(
            std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin() - 1);
        while (count > 0) {
            if (index >= entries_.size()) return false;
            const std::uint64_t within = offset - starts_[index];
            const auto piece = static_cast<std::size_t>(
                std::min<std::uint64_t>(count, entries_[index]->size - within));
            if (!ReadEntryAt(*entries_[index], within, out, piece)) return false;
            out += piece;
            offset += piece;
            count -= piece;
            ++index;
        }
        return true;
    }

private:
    static bool ReadEntryAt(MixArchiveEntry& entry, std::uint64_t offset, char* out,
                            std::size_t count) {
        if (auto* fromFile = dynamic_cast<MixArchiveEntryFile*>(&entry))
            return fromFile->stream.file->ReadAt(fromFile->stream.start + offset, out, count) ==
                   count;
        Stream* stream = entry.GetStream();
        char skipped[Stream::kCopyChunk];
        while (offset > 0) {
            const std::size_t n = ReadFully(
                *stream, skipped,
                static_cast<std::size_t>(std::min<std::uint64_t>(offset, sizeof skipped)));
            if (n == 0) return false;
            offset -= n;
        }
        return ReadFully(*stream, out, count) == count;
    }

    const std::vector<MixArchiveEntry*>& entries_;
    std::vector<std::uint64_t> starts_;
};

class EntryInput final : public DeltaInput {
public:
    explicit EntryInput(MixArchiveEntry& entry) : stream_(entry.GetStream()) {}
    std::size_t Read(void* buffer, std::size_t count) override {
        return ReadFully(*stream_, buffer, count);
    }

private:
    Stream* stream_;
};

}  // namespace

// The rebuilt entries' shared reader, read in order; reading an entry out of order
// starts over and skips, so it costs time, never correctness.
class DeltaGroup {
public:
    DeltaGroup(std::vector<MixArchiveEntry*> bases, std::vector<std::uint32_t> sizes,
               MixArchiveEntry& delta, std::string patchPath)
        : bases_(std::move(bases)),
          sizes_(std::move(sizes)),
          delta_(delta),
          patchPath_(std::move(patchPath)),
          source_(bases_) {
        starts_.push_back(0);
        for (std::uint32_t size : sizes_) starts_.push_back(starts_.back() + size);
        try {
            EntryInput input(delta_);
            const DeltaHeader header = ReadDeltaHeader(input);
            if (header.baseSize != source_.size() || header.targetSize != starts_.back()) {
                throw DeltaError("it rebuilds " + std::to_string(header.targetSize) +
                                 " bytes from " + std::to_string(header.baseSize) +
                                 ", where the patch lists " + std::to_string(starts_.back()) +
                                 " from " + std::to_string(source_.size()));
            }
        } catch (const DeltaError& error) {
            Fail(error);
        }
    }

    MixArchiveEntry& base(std::size_t index) const { return *bases_[index]; }
    std::uint32_t size(std::size_t index) const { return sizes_[index]; }

    // Positions the reader at the index-th entry's first byte.
    void Start(std::size_t index) {
        if (reader_ == nullptr || at_ > starts_[index]) {
            reader_.reset();
            input_ = std::make_unique<EntryInput>(delta_);
            try {
                reader_ = std::make_unique<DeltaReader>(source_, *input_);
                // Nothing to rebuild still proves the promise of nothing.
                char none;
                if (starts_.back() == 0) reader_->Read(&none, 1);
            } catch (const DeltaError& error) {
                Fail(error);
            }
            at_ = 0;
        }
        char skipped[Stream::kCopyChunk];
        while (at_ < starts_[index]) {
            const auto want = static_cast<std::size_t>(
                std::min<std::uint64_t>(sizeof skipped, starts_[index] - at_));
            if (Read(skipped, want) == 0) break;
        }
    }

    // Up to count bytes of the target where the reader stands.
    std::size_t Read(char* buffer, std::size_t count) {
        if (reader_ == nullptr) return 0;
        try {
            const std::size_t n = reader_->Read(buffer, count);
            at_ += n;
            // Its end lets go of the buffers: the writer goes on to other entries.
            if (at_ == starts_.back()) reader_.reset();
            return n;
        } catch (const DeltaError& error) {
            reader_.reset();
            Fail(error);
        }
    }

    std::uint64_t at() const { return at_; }
    std::uint64_t end(std::size_t index) const { return starts_[index + 1]; }

private:
    [[noreturn]] void Fail(const DeltaError& error) const {
        throw MixFormatError(
            patchPath_, "the deltas of the patch cannot be applied: " + std::string(error.what()));
    }

    std::vector<MixArchiveEntry*> bases_;
    std::vector<std::uint32_t> sizes_;
    std::vector<std::uint64_t> starts_;
    MixArchiveEntry& delta_;
    std::string patchPath_;
    EntriesBase source_;
    std::unique_ptr<EntryInput> input_;
    std::unique_ptr<DeltaReader> reader_;
    std::uint64_t at_ = 0;
};

class MixArchiveEntryDelta::Rebuild final : public Stream {
public:
    Rebuild(std::shared_ptr<DeltaGroup> group, std::size_t index)
        : group_(std::move(group)), index_(index) {}

    void Restart() {
        group_->Start(index_);
        started_ = true;
    }

    std::int32_t Read(char* buffer, std::uint32_t count) override {
        if (!started_ || group_->at() >= group_->end(index_)) return 0;
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(
            std::min<std::uint32_t>(count, std::numeric_limits<std::int32_t>::max()),
            group_->end(index_) - group_->at()));
        return static_cast<std::int32_t>(group_->Read(buffer, want));
    }

private:
    std::shared_ptr<DeltaGroup> group_;
    std::size_t index_;
    bool started_ = false;
};

MixArchiveEntryDelta::MixArchiveEntryDelta(std::shared_ptr<DeltaGroup> group, std::size_t index)
    : MixArchiveEntry(group->base(index).name, group->base(index).id, group->size(index)),
      rebuild_(std::make_unique<Rebuild>(std::move(group), index)) {}

MixArchiveEntryDelta::~MixArchiveEntryDelta() = default;

Stream* MixArchiveEntryDelta::GetStream() {
    rebuild_->Restart();
    return rebuild_.get();
}

std::shared_ptr<DeltaGroup> MakeDeltaGroup(std::vector<MixArchiveEntry*> bases,
                                           std::vector<std::uint32_t> sizes, MixArchiveEntry& delta,
                                           std::string patchPath) {
    return std::make_shared<DeltaGroup>(std::move(bases), std::move(sizes), delta,
                                        std::move(patchPath));
}

std::string ReadEntryBytes(MixArchiveEntry& entry) {
    std::string bytes(entry.size, '\0');
    bytes.resize(ReadFully(*entry.GetStream(), bytes.data(), bytes.size()));
    return bytes;
}
