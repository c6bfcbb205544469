// SHA-256 (FIPS 180-4), incremental. Blocks are compressed by the x86 SHA extensions
// when the processor has them and by portable code otherwise; both give the same digest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Sha256Digest = std::array<std::uint8_t, 32>;

enum class Sha256Engine { kAuto, kPortable, kHardware };

class Sha256 {
public:
    // kHardware on a processor without the extensions falls back to kPortable.
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

bool Sha256HardwareAvailable();

// 64 hexadecimal digits, upper case, first digest byte first.
std::string ToUpperHex(const Sha256Digest& digest);
std::string Sha256Hex(const std::string& bytes);

// The block functions, for the two paths and the dispatcher.
void Sha256CompressPortable(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);
void Sha256CompressHardware(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);
