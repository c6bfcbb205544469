// Applying a delta as a stream: the target comes out in order, one block decoded at a
// time, and none of its last block is handed out before the whole target has proved
// the SHA-256 the delta promises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

#include "delta/delta_format.h"

// The previous file, read at any offset.
class DeltaBase {
public:
    virtual std::uint64_t size() const = 0;
    // Exactly count bytes at offset, or false.
    virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;

protected:
    ~DeltaBase() = default;
};

// The delta's bytes, in order.
class DeltaInput {
public:
    // Up to count bytes; fewer only where the delta ends or cannot be read further.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;

protected:
    ~DeltaInput() = default;
};

// The header at the start of input; DeltaError for a short or unknown one: another
// magic, a format version this reader does not know, a block size beyond its bounds.
DeltaHeader ReadDeltaHeader(DeltaInput& input);

class DeltaReader {
public:
    // Reads the header from delta and checks it against base; a target larger than
    // maxTarget is refused before anything is decoded.
    DeltaReader(DeltaBase& base, DeltaInput& delta,
                std::uint64_t maxTarget = std::numeric_limits<std::uint64_t>::max());
    ~DeltaReader();
    DeltaReader(const DeltaReader&) = delete;
    DeltaReader& operator=(const DeltaReader&) = delete;

    const DeltaHeader& header() const { return header_; }

    // Up to count bytes of the target; 0 at its end, where the buffers are let go.
    // Raises DeltaError for a delta that does not rebuild what it promises.
    std::size_t Read(void* buffer, std::size_t count);

private:
    struct Decoder;
    void DecodeNextBlock();
    // After the last block: nothing may follow it, and the target must be the promised one.
    void ProveEnd();

    DeltaBase& base_;
    DeltaInput& delta_;
    DeltaHeader header_;
    std::unique_ptr<Decoder> decoder_;
    std::uint64_t nextBlock_ = 0;
    std::size_t served_ = 0;  // of the current block
    std::size_t filled_ = 0;
};
