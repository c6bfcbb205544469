#include "mix/delta_entry.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "delta/delta_reader.h"
#include "mix/mix_error.h"

namespace {

// The previous entry at any offset: straight from its archive where it lies in one,
// otherwise by reading its stream up to the offset.
class EntryBase final : public DeltaBase {
public:
    explicit EntryBase(MixArchiveEntry& entry) : entry_(entry) {}
    std::uint64_t size() const override { return entry_.size; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
        if (auto* fromFile = dynamic_cast<MixArchiveEntryFile*>(&entry_)) {
            return fromFile->stream.file->ReadAt(fromFile->stream.start + offset, buffer, count) ==
                   count;
        }
        if (stream_ == nullptr || offset < at_) {
            stream_ = entry_.GetStream();
            at_ = 0;
        }
        std::vector<char> skipped(Stream::kCopyChunk);
        while (at_ < offset) {
            const auto want =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(skipped.size(), offset - at_));
            const std::int32_t n = stream_->Read(skipped.data(), want);
            if (n <= 0) return false;
            at_ += static_cast<std::uint64_t>(n);
        }
        auto* out = static_cast<char*>(buffer);
        for (std::size_t got = 0; got < count;) {
            const auto want = static_cast<std::uint32_t>(
                std::min<std::size_t>(count - got, std::numeric_limits<std::int32_t>::max()));
            const std::int32_t n = stream_->Read(out + got, want);
            if (n <= 0) return false;
            got += static_cast<std::size_t>(n);
            at_ += static_cast<std::uint64_t>(n);
        }
        return true;
    }

private:
    MixArchiveEntry& entry_;
    Stream* stream_ = nullptr;
    std::uint64_t at_ = 0;
};

class EntryInput final : public DeltaInput {
public:
    explicit EntryInput(MixArchiveEntry& entry) : stream_(entry.GetStream()) {}
    std::size_t Read(void* buffer, std::size_t count) override {
        auto* out = static_cast<char*>(buffer);
        std::size_t got = 0;
        while (got < count) {
            const auto want = static_cast<std::uint32_t>(
                std::min<std::size_t>(count - got, std::numeric_limits<std::int32_t>::max()));
            const std::int32_t n = stream_->Read(out + got, want);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        return got;
    }

private:
    Stream* stream_;
};

std::uint32_t TargetSizeOf(MixArchiveEntry& base, MixArchiveEntry& delta,
                           const std::string& patchPath) {
    EntryInput input(delta);
    try {
        const DeltaHeader header = ReadDeltaHeader(input);
        if (header.baseSize != base.size) {
            throw DeltaError("it was made for an entry of " + std::to_string(header.baseSize) +
                             " bytes, not one of " + std::to_string(base.size));
        }
        if (header.targetSize > std::numeric_limits<std::uint32_t>::max())
            throw DeltaError("it rebuilds more bytes than an entry can hold");
        return static_cast<std::uint32_t>(header.targetSize);
    } catch (const DeltaError& error) {
        throw MixFormatError(patchPath, "the delta of \"" + std::string(delta.name) +
                                            "\" cannot be applied: " + error.what());
    }
}

}  // namespace

// The stream the writer reads: the delta applied afresh at every GetStream, its
// buffers held only while the entry is being read.
class MixArchiveEntryDelta::Rebuild final : public Stream {
public:
    Rebuild(MixArchiveEntry& base, MixArchiveEntry& delta, std::string patchPath)
        : base_(base), delta_(delta), patchPath_(std::move(patchPath)) {}

    void Restart() {
        reader_.reset();
        input_ = std::make_unique<EntryInput>(delta_);
        source_ = std::make_unique<EntryBase>(base_);
        try {
            reader_ = std::make_unique<DeltaReader>(*source_, *input_);
        } catch (const DeltaError& error) {
            Fail(error);
        }
    }

    std::int32_t Read(char* buffer, std::uint32_t count) override {
        if (reader_ == nullptr) return 0;
        try {
            const std::size_t n = reader_->Read(
                buffer, std::min<std::uint32_t>(count, std::numeric_limits<std::int32_t>::max()));
            if (n == 0) reader_.reset();
            return static_cast<std::int32_t>(n);
        } catch (const DeltaError& error) {
            reader_.reset();
            Fail(error);
        }
    }

private:
    [[noreturn]] void Fail(const DeltaError& error) const {
        throw MixFormatError(patchPath_, "the delta of \"" + std::string(delta_.name) +
                                             "\" cannot be applied: " + error.what());
    }

    MixArchiveEntry& base_;
    MixArchiveEntry& delta_;
    std::string patchPath_;
    std::unique_ptr<EntryInput> input_;
    std::unique_ptr<EntryBase> source_;
    std::unique_ptr<DeltaReader> reader_;
};

MixArchiveEntryDelta::MixArchiveEntryDelta(MixArchiveEntry& base, MixArchiveEntry& delta,
                                           std::string patchPath)
    : MixArchiveEntry(delta.name, delta.id, TargetSizeOf(base, delta, patchPath)),
      rebuild_(std::make_unique<Rebuild>(base, delta, std::move(patchPath))) {}

MixArchiveEntryDelta::~MixArchiveEntryDelta() = default;

Stream* MixArchiveEntryDelta::GetStream() {
    rebuild_->Restart();
    return rebuild_.get();
}

std::string ReadEntryBytes(MixArchiveEntry& entry) {
    std::string bytes(entry.size, '\0');
    EntryInput input(entry);
    bytes.resize(input.Read(bytes.data(), bytes.size()));
    return bytes;
}
