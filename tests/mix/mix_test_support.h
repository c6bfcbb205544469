// Archives built byte by byte, independently of the writer under test, and small
// helpers shared by the MIX tests.
#pragma once

#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "mix/mix_file.h"

struct RawEntry {
    std::string name;  // written with one NUL after it
    std::uint32_t id;
    std::string data;
};

inline void PutLE32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

inline std::string LE32(std::uint32_t value) {
    std::string bytes(4, '\0');
    PutLE32(bytes, 0, value);
    return bytes;
}

inline std::uint32_t GetLE32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= std::uint32_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
    }
    return value;
}

// Data back to back from offset 16 without fill, then the index, then the names: a
// layout the writer never produces, so reading it tests the reader alone. With a fill
// byte, each entry's data is followed by that many of it as the writer's fill to 8.
inline std::string BuildMix(const std::vector<RawEntry>& entries, const std::string& magic = "MIX1",
                            std::optional<char> fill = std::nullopt) {
    std::string body;
    std::string index = LE32(static_cast<std::uint32_t>(entries.size()));
    std::string names = LE32(static_cast<std::uint32_t>(entries.size()));
    for (const RawEntry& entry : entries) {
        index += LE32(entry.id) + LE32(static_cast<std::uint32_t>(16 + body.size())) +
                 LE32(static_cast<std::uint32_t>(entry.data.size()));
        body += entry.data;
        if (fill) body.append((0u - entry.data.size()) % 8u, *fill);
        names += static_cast<char>(entry.name.size() + 1);
        names += entry.name;
        names += '\0';
    }
    const auto indexOffset = static_cast<std::uint32_t>(16 + body.size());
    const auto namesOffset = static_cast<std::uint32_t>(indexOffset + index.size());
    return magic + LE32(indexOffset) + LE32(namesOffset) + LE32(0) + body + index + names;
}

// Bytes that differ from their neighbours, and from another seed's at the same place.
inline std::string Pattern(std::size_t size, std::uint32_t seed = 0) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i * 7 + i / 251 + seed * 13);
    }
    return bytes;
}

inline std::string ReadEntry(MixArchiveEntry& entry) {
    Stream* stream = entry.GetStream();
    std::string bytes;
    char buffer[4096];
    for (std::int32_t n; (n = stream->Read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
    return bytes;
}

// What a test sees of an archive: names, ids and bytes in list order.
inline std::vector<RawEntry> Contents(const MixFile& archive) {
    std::vector<RawEntry> contents;
    for (MixArchiveEntry* entry : archive.entries) {
        contents.push_back({entry->name, entry->id, ReadEntry(*entry)});
    }
    return contents;
}

inline bool operator==(const RawEntry& a, const RawEntry& b) {
    return a.name == b.name && a.id == b.id && a.data == b.data;
}

inline void PrintTo(const RawEntry& entry, std::ostream* out) {
    *out << "{\"" << entry.name << "\", " << entry.id << ", " << entry.data.size() << " bytes}";
}

inline MixArchiveEntryMemory* NewMemoryEntry(const std::string& name, std::uint32_t id,
                                             const std::string& data) {
    auto* entry = new MixArchiveEntryMemory(name, id, data);
    MixEntryRegistry().push_back(entry);
    return entry;
}

std::size_t OpenDescriptorCount();

// Every test starts and ends with an empty entry registry.
class MixTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(LiveMixEntryCount(), 0u); }
    void TearDown() override { ReleaseMixEntries(); }
};
