// What an HTTP response's head says about its body, and what a transfer does with it.
// Everything here comes from a server that may lie: a length beyond reason, a range that
// is not the one asked for, an encoding never asked for. It is parsed and judged in this
// one place, which the fuzzer drives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct ResponseHead {
    int status = 0;
    std::optional<std::uint64_t> contentLength;
    // Content-Range "bytes FIRST-LAST/TOTAL"; total stays empty for "*".
    std::optional<std::uint64_t> rangeFirst;
    std::optional<std::uint64_t> rangeLast;
    std::optional<std::uint64_t> rangeTotal;
    std::string etag;
    std::string lastModified;
    std::string contentEncoding;
    bool malformed = false;  // a header that was there but could not be read

    // Starts over at each status line: a redirect's head is followed by the next one's.
    void AddLine(const std::string& line);
    // The strong validator If-Range may carry; weak ETags and none give "".
    std::string Validator() const;
};

enum class BodyAction {
    kWriteFromStart,  // truncate what is there and write the body from byte 0
    kAppend,          // the body continues the bytes already there
    kAlreadyWhole,    // 416 for a file exactly as long as the bytes there: nothing is missing
    kStartOver,       // 416 otherwise: nothing to resume from; ask again for the whole file
    kServerError,     // 5xx: another try, or another mirror
    kRefuse,          // no body of this answer may be stored
};

struct BodyPlan {
    BodyAction action = BodyAction::kRefuse;
    std::uint64_t total = 0;           // the whole file's size once this body is in; 0 unknown
    std::string refusal;               // for kRefuse: why, as words for the player
    bool contradictsExpected = false;  // for kRefuse: the size is not the one expected
};

// Largest body believed without a signed size: beyond what any game file may be.
inline constexpr std::uint64_t kLargestBody = std::uint64_t{1} << 40;

// Judges a final (non-redirect) head for a request that asked for the bytes from offset
// on (0: the whole file). expectedSize is the signed size, 0 when unknown.
BodyPlan PlanBody(const ResponseHead& head, std::uint64_t offset, std::uint64_t expectedSize);
