// Little-endian integers in byte strings, as the delta format stores them.
#pragma once

#include <cstdint>
#include <string>

inline void AppendLE32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(value >> shift));
}

inline void AppendLE64(std::string& out, std::uint64_t value) {
    for (int shift = 0; shift < 64; shift += 8) out.push_back(static_cast<char>(value >> shift));
}

inline std::uint32_t LE32At(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

inline std::uint64_t LE64At(const std::uint8_t* bytes) {
    return std::uint64_t{LE32At(bytes)} | std::uint64_t{LE32At(bytes + 4)} << 32;
}
