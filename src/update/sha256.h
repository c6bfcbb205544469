// SHA-256 (FIPS 180-4), incremental. Blocks are compressed by the best path this
// processor offers: the x86 SHA extensions; else a message schedule in AVX2 or SSSE3
// registers with scalar rounds; else portable code. Every path gives the same digest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Sha256Digest = std::array<std::uint8_t, 32>;

enum class Sha256Engine { kAuto, kPortable, kSsse3, kAvx2, kHardware };

class Sha256 {
public:
    // An engine this processor lacks falls back to kPortable. kAuto takes the best one,
    // or the one the environment variable KESTRAVA_SHA256 names (portable, ssse3, avx2,
    // hardware) when the processor has it: benchmarks and tests time each path that way.
    explicit Sha256(Sha256Engine engine = Sha256Engine::kAuto);

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

// 64 hexadecimal digits, upper case, first digest byte first.
std::string ToUpperHex(const Sha256Digest& digest);
std::string Sha256Hex(const std::string& bytes);

// The block functions, one a path.
void Sha256CompressPortable(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);
void Sha256CompressSsse3(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);
void Sha256CompressAvx2(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);
void Sha256CompressHardware(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);
