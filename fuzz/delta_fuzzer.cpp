// Applies a delta to a base, both from the input: a 4-byte little-endian length, the
// base of that many bytes, and the delta in the rest. Whatever the bytes, applying ends
// in the promised target or a DeltaError. Where it fails, the rest is taken as a target
// instead, and a delta made of it must rebuild it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "delta/delta_reader.h"
#include "delta/delta_writer.h"

namespace {

class Bytes final : public DeltaBase, public DeltaInput {
public:
    explicit Bytes(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
        if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
        std::memcpy(buffer, bytes_.data() + offset, count);
        return true;
    }
    std::size_t Read(void* buffer, std::size_t count) override {
        const std::size_t n = std::min(count, bytes_.size() - at_);
        std::memcpy(buffer, bytes_.data() + at_, n);
        at_ += n;
        return n;
    }

private:
    std::string bytes_;
    std::size_t at_ = 0;
};

// Bounds what a claimed target can make the fuzzer write into memory.
constexpr std::uint64_t kMostTarget = 64 << 20;

bool Apply(const std::string& base, const std::string& delta, std::string& out) {
    Bytes source(base);
    Bytes input(delta);
    try {
        DeltaReader reader(source, input, kMostTarget);
        char buffer[65536];
        while (const std::size_t n = reader.Read(buffer, sizeof buffer)) out.append(buffer, n);
        if (out.size() != reader.header().targetSize) std::abort();
        return true;
    } catch (const DeltaError&) {
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::size_t baseSize = data[0] | data[1] << 8 | data[2] << 16 | std::size_t{data[3]} << 24;
    data += 4;
    size -= 4;
    if (baseSize > size) baseSize = size;
    const std::string base(reinterpret_cast<const char*>(data), baseSize);
    const std::string rest(reinterpret_cast<const char*>(data) + baseSize, size - baseSize);

    std::string out;
    if (Apply(base, rest, out)) return 0;
    DeltaOptions options;
    options.blockSize = 1024;
    options.windowSize = 2048;
    options.level = 1;
    options.threads = 1;
    out.clear();
    if (!Apply(base, MakeDelta(base, rest, options), out) || out != rest) std::abort();
    return 0;
}
