// Choosing, for each block of a new file, the window of its previous self that the
// block's frame refers to: where most of the block's content lies in the base, found
// by content-defined anchors, so that a block that moved far still finds its bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

class WindowChooser {
public:
    // base must outlive the chooser.
    WindowChooser(std::string_view base, std::uint32_t window);

    // The window's offset and length in the base for the block starting at blockStart
    // of a target of targetSize bytes.
    std::pair<std::uint64_t, std::uint32_t> Choose(std::string_view block, std::uint64_t blockStart,
                                                   std::uint64_t targetSize) const;

private:
    std::string_view base_;
    std::uint32_t window_;
    // (anchor hash, base position just past the anchor), sorted; empty when the whole
    // base fits one window.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> anchors_;
};
