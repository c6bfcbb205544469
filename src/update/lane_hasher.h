// Validation's hashing where Sha256LanesPay (and only there: the lanes need AVX2): a worker
// keeps up to eight files open, one in each lane of Sha256CompressLanesAvx2, and hashes the
// blocks they have in common at once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hash/sha256.h"
#include "platform/file_io.h"

// Where a worker's files come from and where their digests go.
class FileHashFeed {
public:
    // The next file (the caller's number for it, and its path); false once there is none
    // left or the work has stopped.
    virtual bool Take(std::size_t& file, std::string& path) = 0;
    virtual bool Stopped() const = 0;
    // Whether a file just taken is so large beside what is left to take that, even hashed
    // alone, it would be among the last to finish: a lane, at about half a single stream's
    // pace, would leave it last of all.
    virtual bool TooLargeForALane(std::size_t file) const = 0;
    // Each file taken ends in one of these, unless the work stops first. Either may throw:
    // the hasher then drops the files in hand.
    virtual void Hashed(std::size_t file, const Sha256Digest& digest) = 0;
    virtual void Unreadable(std::size_t file, int error) = 0;  // errno of the open or read

protected:
    ~FileHashFeed() = default;
};

class LaneHasher {
public:
    LaneHasher();
    LaneHasher(const LaneHasher&) = delete;
    LaneHasher& operator=(const LaneHasher&) = delete;

    // Hashes what feed hands out until it has no more, or until it stops: the files in hand
    // are then dropped unfinished. A file too large for a lane, taken while every lane is
    // idle, is hashed alone at once. Reads through 1 MiB of its own, whatever the files.
    void Run(FileHashFeed& feed);

private:
    static constexpr std::size_t kLanes = 8;

    struct Lane {
        bool busy = false;
        std::size_t file = 0;
        UniqueFile stream;
        std::size_t begin = 0, end = 0;  // the bytes of the buffer read but not hashed
        std::uint64_t compressed = 0;    // bytes of the file through the lanes so far
        bool atEnd = false;
        std::size_t Left() const { return end - begin; }
    };

    std::uint8_t* Buffer(std::size_t lane);
    bool Fill(std::size_t lane, FileHashFeed& feed);
    bool Start(std::size_t lane, FileHashFeed& feed);
    bool Read(std::size_t lane, FileHashFeed& feed);
    void FinishAlone(std::size_t lane, FileHashFeed& feed);
    void CompressCommonBlocks();

    std::vector<std::uint8_t> buffer_;
    std::array<Lane, kLanes> lanes_;
    std::uint32_t states_[kLanes][8];
    std::string path_;
};
