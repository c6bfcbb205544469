#include "settings/display_mode_list.h"

#include <algorithm>
#include <cstdio>

DisplayModeChoice BuildDisplayModeList(DisplayModeSource& source, std::int32_t currentWidth,
                                       std::int32_t currentHeight) {
    DisplayModeChoice choice;
    for (const std::uint32_t format : {kFormatX8R8G8B8, kFormatR5G6B5}) {
        for (const AdapterMode& mode : source.Modes(format)) {
            if (mode.width < 640 || mode.height < 480) continue;
            // Refresh rates and formats are not offered: one entry a size.
            const bool listed =
                std::any_of(choice.modes.begin(), choice.modes.end(), [&](const Resolution& r) {
                    return r.width == mode.width && r.height == mode.height;
                });
            if (listed) continue;
            if (static_cast<std::int64_t>(mode.width) == currentWidth &&
                static_cast<std::int64_t>(mode.height) == currentHeight) {
                choice.selection = static_cast<int>(choice.modes.size());
            }
            choice.modes.push_back({mode.width, mode.height});
        }
    }
    return choice;
}

std::string ResolutionText(const Resolution& resolution) {
    char text[32];
    std::snprintf(text, sizeof text, "%u x %u", static_cast<unsigned>(resolution.width),
                  static_cast<unsigned>(resolution.height));
    return text;
}
