// The resolutions the Settings dialog offers: the adapter's modes of at least
// 640 x 480, each size once, in the adapter's order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/display_modes.h"

struct Resolution {
    std::uint32_t width;
    std::uint32_t height;
};

using DisplayModeList = std::vector<Resolution>;

struct DisplayModeChoice {
    DisplayModeList modes;
    // Position of the entry equal to the current resolution, -1 when none is. Found
    // afresh at every build, so a position from an earlier list never carries over.
    int selection = -1;
};

// Asks for the 32-bit modes, then the 16-bit ones.
DisplayModeChoice BuildDisplayModeList(DisplayModeSource& source, std::int32_t currentWidth,
                                       std::int32_t currentHeight);

// "1920 x 1080"
std::string ResolutionText(const Resolution& resolution);
