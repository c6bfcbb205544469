#include "update/lane_hasher.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t kBlock = 64;
// Eight lanes read through 1 MiB a worker, as one stream does.
constexpr std::size_t kLaneBytes = 128 << 10;
// Eight lanes cost about what two single streams do: with fewer files in hand than this,
// most of the work would go to idle lanes.
constexpr unsigned kFewestLanes = 3;

}  // namespace

LaneHasher::LaneHasher() : buffer_(kLanes * kLaneBytes) {}

std::uint8_t* LaneHasher::Buffer(std::size_t lane) { return buffer_.data() + lane * kLaneBytes; }

void LaneHasher::Run(FileHashFeed& feed) {
    while (!feed.Stopped()) {
        unsigned busy = 0;
        for (std::size_t lane = 0; lane < kLanes; ++lane) busy += Fill(lane, feed) ? 1 : 0;
        if (feed.Stopped()) break;
        if (busy >= kFewestLanes) {
            CompressCommonBlocks();
            continue;
        }
        // Fill only leaves a lane idle once the feed has run dry.
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            if (lanes_[lane].busy) FinishAlone(lane, feed);
        }
        break;
    }
    for (Lane& lane : lanes_) {
        lane.stream.reset();
        lane.busy = false;
    }
}

// Leaves the lane holding a whole block at least (true), or idle once the feed has no more
// files. A file ends here once less than a block of it is left.
bool LaneHasher::Fill(std::size_t lane, FileHashFeed& feed) {
    Lane& current = lanes_[lane];
    for (;;) {
        if (!current.busy) {
            if (!Start(lane, feed)) return false;
        } else if (current.Left() >= kBlock) {
            return true;
        } else if (current.atEnd) {
            FinishAlone(lane, feed);
        } else {
            Read(lane, feed);
        }
    }
}

// Takes the feed's next file into the lane, unless it has none. A file that cannot be
// opened is reported and leaves the lane idle, as does one hashed alone.
bool LaneHasher::Start(std::size_t lane, FileHashFeed& feed) {
    const bool allIdle =
        std::none_of(lanes_.begin(), lanes_.end(), [](const Lane& other) { return other.busy; });
    std::size_t file = 0;
    if (!feed.Take(file, path_)) return false;
    Lane& current = lanes_[lane];
    current.stream = OpenFile(path_, "rb");
    if (!current.stream) {
        feed.Unreadable(file, errno);
        return true;
    }
    current.busy = true;
    current.file = file;
    current.begin = current.end = 0;
    current.compressed = 0;
    current.atEnd = false;
    std::memcpy(states_[lane], kSha256Initial, sizeof states_[lane]);
    if (allIdle && feed.TooLargeForALane(file)) FinishAlone(lane, feed);
    return true;
}

// Moves the bytes not yet hashed to the front of the lane's buffer and fills the rest from
// its file. A read error is reported and leaves the lane idle (false).
bool LaneHasher::Read(std::size_t lane, FileHashFeed& feed) {
    Lane& current = lanes_[lane];
    std::uint8_t* const buffer = Buffer(lane);
    const std::size_t left = current.Left();
    std::memmove(buffer, buffer + current.begin, left);
    const std::size_t wanted = kLaneBytes - left;
    const std::size_t got = std::fread(buffer + left, 1, wanted, current.stream.get());
    current.begin = 0;
    current.end = left + got;
    if (got == wanted) return true;
    if (std::ferror(current.stream.get())) {
        const int error = errno;
        current.stream.reset();
        current.busy = false;
        feed.Unreadable(current.file, error);
        return false;
    }
    current.atEnd = true;
    return true;
}

// The rest of the lane's file as one stream, from where the lanes left it.
void LaneHasher::FinishAlone(std::size_t lane, FileHashFeed& feed) {
    Lane& current = lanes_[lane];
    Sha256 hash;
    hash.Resume(states_[lane], current.compressed);
    for (;;) {
        hash.Update(Buffer(lane) + current.begin, current.Left());
        current.begin = current.end;
        if (current.atEnd) break;
        if (!Read(lane, feed)) return;
    }
    current.stream.reset();
    current.busy = false;
    feed.Hashed(current.file, hash.Final());
}

void LaneHasher::CompressCommonBlocks() {
    std::size_t count = std::numeric_limits<std::size_t>::max();
    const std::uint8_t* blocks[kLanes] = {};
    const std::uint8_t* someBusy = nullptr;
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
        if (!lanes_[lane].busy) continue;
        count = std::min(count, lanes_[lane].Left() / kBlock);
        blocks[lane] = someBusy = Buffer(lane) + lanes_[lane].begin;
    }
    // An idle lane hashes another's blocks into a state that Start resets.
    for (const std::uint8_t*& idle : blocks) {
        if (idle == nullptr) idle = someBusy;
    }
    Sha256CompressLanesAvx2(states_, blocks, count);
    for (Lane& current : lanes_) {
        if (!current.busy) continue;
        current.begin += count * kBlock;
        current.compressed += count * kBlock;
    }
}
