// Choosing, for each block of a new file, the windows of its previous self that the
// block's frame refers to: where the block's content lies in the base, found by
// content-defined anchors, so that pieces that moved far apart still find their bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "delta/delta_format.h"

class WindowChooser {
public:
    // base must outlive the chooser; window bounds the windows' total length.
    WindowChooser(std::string_view base, std::uint32_t window);

    // The windows, in the base's order, for the block starting at blockStart of a target
    // of targetSize bytes.
    std::vector<DeltaWindow> Choose(std::string_view block, std::uint64_t blockStart,
                                    std::uint64_t targetSize) const;

private:
    std::string_view base_;
    std::uint32_t window_;
    // (anchor hash, base position just past the anchor), sorted; empty when the whole
    // base fits one window.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> anchors_;
};
