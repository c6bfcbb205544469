// The default display adapter's modes, one pixel format at a time: Direct3D 9 in the
// launcher, a table in tests.
#pragma once

#include <cstdint>
#include <vector>

// Direct3D's numbers for the two formats the launcher asks about.
inline constexpr std::uint32_t kFormatX8R8G8B8 = 22;
inline constexpr std::uint32_t kFormatR5G6B5 = 23;

struct AdapterMode {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t refreshRate = 0;
};

class DisplayModeSource {
public:
    virtual ~DisplayModeSource() = default;
    // The modes in the adapter's own order; none when the adapter cannot be asked.
    virtual std::vector<AdapterMode> Modes(std::uint32_t format) = 0;
};
