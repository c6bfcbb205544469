// SHA-256 (FIPS 180-4), incremental. Blocks are compressed by the best path this
// processor offers: the x86 SHA extensions; else a message schedule in AVX2 or SSSE3
// registers with scalar rounds; else portable code. Every path gives the same digest.
// Without the SHA extensions, validation also hashes eight files at once in AVX2 lanes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Sha256Digest = std::array<std::uint8_t, 32>;

inline constexpr std::uint32_t kSha256Initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

enum class Sha256Engine { kAuto, kPortable, kSsse3, kAvx2, kHardware };

class Sha256 {
public:
    // An engine this processor lacks falls back to kPortable. kAuto takes the best one,
    // or the one the environment variable KESTRAVA_SHA256 names (portable, ssse3, avx2,
    // hardware; lanes means avx2, see Sha256LanesPay) when the processor has it:
    // benchmarks and tests time each path that way.
    explicit Sha256(Sha256Engine engine = Sha256Engine::kAuto);

    // Takes over a message whose first `length` bytes (whole blocks) another block function
    // compressed into `state`: the lanes hand a file's tail over this way.
    void Resume(const std::uint32_t state[8], std::uint64_t length);
    void Update(const void* data, std::size_t size);
    // The digest of everything fed so far; the object then starts over.
    Sha256Digest Final();

private:
    void Reset();

    using Compress = void (*)(std::uint32_t state[8], const std::uint8_t* blocks,
                              std::size_t count);
    Compress compress_;
    std::uint32_t state_[8];
    std::uint8_t pending_[64];
    std::size_t pendingSize_;
    std::uint64_t length_;
};

bool Sha256EngineAvailable(Sha256Engine engine);
bool Sha256HardwareAvailable();
// The engine kAuto stands for here, and its name.
Sha256Engine Sha256AutoEngine();
const char* Sha256EngineName(Sha256Engine engine);

// Whether to hash several files at once, one in each lane of Sha256CompressLanesAvx2: where
// the best single stream is the AVX2 one, eight lanes cost about what two streams do. With
// the SHA extensions one stream beats them. KESTRAVA_SHA256=lanes turns them on wherever
// AVX2 is (beside the avx2 single stream); any other value of it turns them off. Read at
// each call, so that tests can switch.
bool Sha256LanesPay();

// 64 hexadecimal digits, upper case, first digest byte first.
std::string ToUpperHex(const Sha256Digest& digest);
std::string Sha256Hex(const std::string& bytes);

// The block functions, one a path.
void Sha256CompressPortable(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);
void Sha256CompressSsse3(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);
void Sha256CompressAvx2(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);
void Sha256CompressHardware(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);

// Eight messages at once: count blocks of each, blocks[i] the next of message i, states[i]
// its chaining state. Needs AVX2 (Sha256LanesPay says so first); a build for another
// processor takes the messages one after another through the portable function.
void Sha256CompressLanesAvx2(std::uint32_t states[8][8], const std::uint8_t* const blocks[8],
                             std::size_t count);
