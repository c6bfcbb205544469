#include "delta/window_choice.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// A gear hash: each byte shifts one bit in, so the hash depends on the last 64 bytes and
// an anchor (its top bits all zero, one place in 64) is found again wherever those bytes
// move.
constexpr std::uint64_t kAnchorMask = 0xFC00000000000000u;
// Bytes compared to confirm a match: enough that a chance match of hashes is no vote.
constexpr std::size_t kConfirm = 32;
// Repeated content gives one hash many places; a few are enough to vote with.
constexpr std::size_t kMostPlacesPerHash = 4;
// Votes closer than this are one piece of the base; a window reaches this far past its
// outer votes, for the bytes between anchors.
constexpr std::uint64_t kPieceGap = 64 << 10;
constexpr std::uint64_t kMargin = 4 << 10;

constexpr std::array<std::uint64_t, 256> MakeGear() {
    std::array<std::uint64_t, 256> gear{};
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    for (std::uint64_t& value : gear) {
        state += 0x9E3779B97F4A7C15u;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        value = z ^ (z >> 31);
    }
    return gear;
}
constexpr std::array<std::uint64_t, 256> kGear = MakeGear();

// Calls found(hash, end) for every anchor of bytes, end being the position just past it.
template <typename Found>
void ForEachAnchor(std::string_view bytes, Found found) {
    std::uint64_t hash = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        hash = (hash << 1) + kGear[static_cast<unsigned char>(bytes[i])];
        if ((hash & kAnchorMask) == 0 && i + 1 >= kConfirm) found(hash, i + 1);
    }
}

}  // namespace

WindowChooser::WindowChooser(std::string_view base, std::uint32_t window)
    : base_(base), window_(window) {
    if (base.size() <= window) return;
    ForEachAnchor(base,
                  [&](std::uint64_t hash, std::size_t end) { anchors_.emplace_back(hash, end); });
    std::sort(anchors_.begin(), anchors_.end());
}

std::vector<DeltaWindow> WindowChooser::Choose(std::string_view block, std::uint64_t blockStart,
                                               std::uint64_t targetSize) const {
    if (base_.empty()) return {};
    if (base_.size() <= window_) return {{0, static_cast<std::uint32_t>(base_.size())}};

    // Each anchor of the block that the base holds too votes for where it lies there.
    std::vector<std::uint64_t> votes;
    ForEachAnchor(block, [&](std::uint64_t hash, std::size_t end) {
        auto at = std::lower_bound(anchors_.begin(), anchors_.end(),
                                   std::make_pair(hash, std::uint64_t{0}));
        for (std::size_t n = 0; at != anchors_.end() && at->first == hash && n < kMostPlacesPerHash;
             ++at, ++n) {
            if (std::memcmp(base_.data() + at->second - kConfirm, block.data() + end - kConfirm,
                            kConfirm) == 0) {
                votes.push_back(at->second);
            }
        }
    });
    if (votes.empty()) {
        // Nothing found again: the same place, relatively, as the block holds in its file.
        const double relative = (blockStart + block.size() / 2.0) / static_cast<double>(targetSize);
        const auto centre =
            static_cast<std::uint64_t>(relative * static_cast<double>(base_.size()));
        const std::uint64_t start =
            centre > window_ / 2
                ? std::min<std::uint64_t>(centre - window_ / 2, base_.size() - window_)
                : 0;
        return {{start, window_}};
    }

    // The pieces the votes fall into, the best voted first, as many as fit the window.
    struct Piece {
        std::uint64_t begin, end, votes;
    };
    std::sort(votes.begin(), votes.end());
    std::vector<Piece> pieces;
    for (std::uint64_t vote : votes) {
        if (pieces.empty() || vote - pieces.back().end > kPieceGap)
            pieces.push_back({vote, vote, 0});
        pieces.back().end = vote;
        ++pieces.back().votes;
    }
    for (Piece& piece : pieces) {
        piece.begin = piece.begin > kConfirm + kMargin ? piece.begin - kConfirm - kMargin : 0;
        piece.end = std::min<std::uint64_t>(piece.end + kMargin, base_.size());
    }
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const Piece& a, const Piece& b) { return a.votes > b.votes; });
    std::vector<DeltaWindow> chosen;
    std::uint64_t room = window_;
    for (const Piece& piece : pieces) {
        if (chosen.size() == kMaxDeltaWindows || room == 0) break;
        const std::uint64_t length = std::min(piece.end - piece.begin, room);
        chosen.push_back({piece.begin, static_cast<std::uint32_t>(length)});
        room -= length;
    }
    // In the base's order, overlaps joined: each byte of the base once.
    std::sort(chosen.begin(), chosen.end(),
              [](const DeltaWindow& a, const DeltaWindow& b) { return a.offset < b.offset; });
    std::vector<DeltaWindow> joined;
    for (const DeltaWindow& window : chosen) {
        if (!joined.empty() && window.offset <= joined.back().offset + joined.back().length) {
            DeltaWindow& last = joined.back();
            const std::uint64_t end =
                std::max(last.offset + last.length, window.offset + window.length);
            last.length = static_cast<std::uint32_t>(end - last.offset);
        } else {
            joined.push_back(window);
        }
    }
    return joined;
}
