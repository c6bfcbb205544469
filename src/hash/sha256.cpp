#include "hash/sha256.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "hash/sha256_rounds.h"
#include "hash/sha256_scalar_rounds.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define KESTRAVA_X86 1
#endif

namespace {

inline std::uint32_t LoadBigEndian(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

struct ProcessorFeatures {
    bool ssse3 = false;
    bool avx2 = false;  // with BMI1 and BMI2, and the AVX state saved by the system
    bool sha = false;   // with SSE4.1, which the hardware path also uses
};

ProcessorFeatures DetectFeatures() {
    ProcessorFeatures features;
#ifdef KESTRAVA_X86
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return features;
    features.ssse3 = (ecx & (1u << 9)) != 0;
    const bool sse41 = (ecx & (1u << 19)) != 0;
    const bool osAvx = (ecx & (1u << 27)) != 0 && (ecx & (1u << 28)) != 0;
    bool avxStateSaved = false;
    if (osAvx) {
        unsigned low = 0, high = 0;
        __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
        avxStateSaved = (low & 6u) == 6u;
    }
    if (__get_cpuid_max(0, nullptr) < 7) return features;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    features.avx2 =
        avxStateSaved && (ebx & (1u << 5)) != 0 && (ebx & (1u << 3)) != 0 && (ebx & (1u << 8)) != 0;
    features.sha = features.ssse3 && sse41 && (ebx & (1u << 29)) != 0;
#endif
    return features;
}

const ProcessorFeatures& Features() {
    static const ProcessorFeatures features = DetectFeatures();
    return features;
}

constexpr Sha256Engine kBestFirst[] = {Sha256Engine::kHardware, Sha256Engine::kAvx2,
                                       Sha256Engine::kSsse3, Sha256Engine::kPortable};

Sha256Engine ChooseAuto() {
    if (const char* forced = std::getenv("KESTRAVA_SHA256")) {
        if (std::strcmp(forced, "lanes") == 0 && Sha256EngineAvailable(Sha256Engine::kAvx2))
            return Sha256Engine::kAvx2;
        for (Sha256Engine engine : kBestFirst) {
            if (std::strcmp(forced, Sha256EngineName(engine)) == 0 && Sha256EngineAvailable(engine))
                return engine;
        }
    }
    for (Sha256Engine engine : kBestFirst) {
        if (Sha256EngineAvailable(engine)) return engine;
    }
    return Sha256Engine::kPortable;
}

}  // namespace

bool Sha256EngineAvailable(Sha256Engine engine) {
    switch (engine) {
        case Sha256Engine::kAuto:
        case Sha256Engine::kPortable:
            return true;
        case Sha256Engine::kSsse3:
            return Features().ssse3;
        case Sha256Engine::kAvx2:
            return Features().avx2;
        case Sha256Engine::kHardware:
            return Features().sha;
    }
    return false;
}

bool Sha256HardwareAvailable() { return Sha256EngineAvailable(Sha256Engine::kHardware); }

Sha256Engine Sha256AutoEngine() {
    static const Sha256Engine engine = ChooseAuto();
    return engine;
}

bool Sha256LanesPay() {
    if (!Sha256EngineAvailable(Sha256Engine::kAvx2)) return false;
    const char* forced = std::getenv("KESTRAVA_SHA256");
    if (forced != nullptr && *forced != '\0') return std::strcmp(forced, "lanes") == 0;
    return Sha256AutoEngine() == Sha256Engine::kAvx2;
}

const char* Sha256EngineName(Sha256Engine engine) {
    switch (engine) {
        case Sha256Engine::kAuto:
            return "auto";
        case Sha256Engine::kPortable:
            return "portable";
        case Sha256Engine::kSsse3:
            return "ssse3";
        case Sha256Engine::kAvx2:
            return "avx2";
        case Sha256Engine::kHardware:
            return "hardware";
    }
    return "?";
}

void Sha256CompressPortable(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    using sha256_rounds::Rotr;
    std::uint32_t w[64];
    std::uint32_t wk[64];
    for (; count > 0; --count, blocks += 64) {
        for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian(blocks + 4 * t);
        for (int t = 16; t < 64; ++t) {
            const std::uint32_t s0 = Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const std::uint32_t s1 = Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        for (int t = 0; t < 64; ++t) wk[t] = w[t] + kSha256Rounds[t];
        sha256_rounds::Rounds(state, wk);
    }
}

Sha256::Sha256(Sha256Engine engine) {
    if (engine == Sha256Engine::kAuto) engine = Sha256AutoEngine();
    if (!Sha256EngineAvailable(engine)) engine = Sha256Engine::kPortable;
    switch (engine) {
        case Sha256Engine::kHardware:
            compress_ = &Sha256CompressHardware;
            break;
        case Sha256Engine::kAvx2:
            compress_ = &Sha256CompressAvx2;
            break;
        case Sha256Engine::kSsse3:
            compress_ = &Sha256CompressSsse3;
            break;
        default:
            compress_ = &Sha256CompressPortable;
            break;
    }
    Reset();
}

void Sha256::Reset() { Resume(kSha256Initial, 0); }

void Sha256::Resume(const std::uint32_t state[8], std::uint64_t length) {
    std::memcpy(state_, state, sizeof state_);
    pendingSize_ = 0;
    length_ = length;
}

void Sha256::Update(const void* data, std::size_t size) {
    auto bytes = static_cast<const std::uint8_t*>(data);
    length_ += size;
    if (pendingSize_ > 0) {
        const std::size_t take = std::min(size, sizeof pending_ - pendingSize_);
        std::memcpy(pending_ + pendingSize_, bytes, take);
        pendingSize_ += take;
        bytes += take;
        size -= take;
        if (pendingSize_ < sizeof pending_) return;
        compress_(state_, pending_, 1);
        pendingSize_ = 0;
    }
    const std::size_t whole = size / 64;
    if (whole > 0) compress_(state_, bytes, whole);
    bytes += whole * 64;
    size -= whole * 64;
    std::memcpy(pending_, bytes, size);
    pendingSize_ = size;
}

Sha256Digest Sha256::Final() {
    const std::uint64_t bits = length_ * 8;
    std::uint8_t tail[128] = {};
    std::memcpy(tail, pending_, pendingSize_);
    tail[pendingSize_] = 0x80;
    const std::size_t tailSize = pendingSize_ + 1 + 8 <= 64 ? 64 : 128;
    for (int i = 0; i < 8; ++i) tail[tailSize - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
    compress_(state_, tail, tailSize / 64);

    Sha256Digest digest;
    for (int i = 0; i < 8; ++i) {
        digest[4 * i] = static_cast<std::uint8_t>(state_[i] >> 24);
        digest[4 * i + 1] = static_cast<std::uint8_t>(state_[i] >> 16);
        digest[4 * i + 2] = static_cast<std::uint8_t>(state_[i] >> 8);
        digest[4 * i + 3] = static_cast<std::uint8_t>(state_[i]);
    }
    Reset();
    return digest;
}

std::string ToUpperHex(const Sha256Digest& digest) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(64);
    for (std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

std::string Sha256Hex(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return ToUpperHex(hash.Final());
}
