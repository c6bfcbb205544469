#include "net/response_head.h"

#include <cctype>
#include <limits>

namespace {

std::string Trimmed(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
    return text.substr(first, last - first);
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Decimal digits only, within 64 bits.
std::optional<std::uint64_t> Number(const std::string& text) {
    if (text.empty() || text.size() > 20) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

bool ParseContentRange(const std::string& value, ResponseHead& head) {
    const std::string text = Lower(value);
    if (text.compare(0, 6, "bytes ") != 0) return false;
    // "bytes */TOTAL", the answer to a range past the end.
    if (text.compare(6, 2, "*/") == 0) {
        head.rangeTotal = Number(Trimmed(text.substr(8)));
        return head.rangeTotal.has_value();
    }
    const std::size_t dash = text.find('-', 6);
    const std::size_t slash = text.find('/', 6);
    if (dash == std::string::npos || slash == std::string::npos || dash > slash) return false;
    head.rangeFirst = Number(Trimmed(text.substr(6, dash - 6)));
    head.rangeLast = Number(Trimmed(text.substr(dash + 1, slash - dash - 1)));
    const std::string total = Trimmed(text.substr(slash + 1));
    if (total != "*") head.rangeTotal = Number(total);
    return head.rangeFirst && head.rangeLast && *head.rangeFirst <= *head.rangeLast &&
           (total == "*" || (head.rangeTotal && *head.rangeLast < *head.rangeTotal));
}

BodyPlan Refusal(std::string why) { return {BodyAction::kRefuse, 0, std::move(why)}; }

std::string Bytes(std::uint64_t count) { return std::to_string(count) + " bytes"; }

}  // namespace

void ResponseHead::AddLine(const std::string& rawLine) {
    const std::string line = Trimmed(rawLine);
    if (line.compare(0, 5, "HTTP/") == 0) {
        *this = ResponseHead();
        const std::size_t space = line.find(' ');
        const std::string code = space == std::string::npos ? "" : line.substr(space + 1, 3);
        const auto value = Number(code);
        status = value && *value < 1000 ? static_cast<int>(*value) : 0;
        return;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) return;
    const std::string name = Lower(Trimmed(line.substr(0, colon)));
    const std::string value = Trimmed(line.substr(colon + 1));
    if (name == "content-length") {
        const auto length = Number(value);
        // Two different lengths are as bad as none that can be read.
        if (!length || (contentLength && *contentLength != *length)) malformed = true;
        contentLength = length;
    } else if (name == "content-range") {
        if (!ParseContentRange(value, *this)) malformed = true;
    } else if (name == "etag") {
        etag = value;
    } else if (name == "last-modified") {
        lastModified = value;
    } else if (name == "content-encoding") {
        contentEncoding = Lower(value);
    }
}

std::string ResponseHead::Validator() const {
    if (!etag.empty()) return etag.compare(0, 2, "W/") == 0 ? std::string() : etag;
    return lastModified;
}

BodyPlan PlanBody(const ResponseHead& head, std::uint64_t offset, std::uint64_t expectedSize) {
    if (head.status >= 500 && head.status <= 599) return {BodyAction::kServerError, 0, {}};
    if (head.status == 416 && offset > 0) {
        // A body that ended early after its last byte (a length that overstated it) is whole;
        // its checksum, not this answer, proves it.
        if (head.rangeTotal && *head.rangeTotal == offset &&
            (expectedSize == 0 || expectedSize == offset)) {
            return {BodyAction::kAlreadyWhole, offset, {}};
        }
        return {BodyAction::kStartOver, 0, {}};
    }
    if (head.status != 200 && head.status != 206) {
        return Refusal("the server answered with status " + std::to_string(head.status));
    }
    if (head.malformed) return Refusal("the server's answer could not be read");
    // Never asked for: stored as it came, the bytes would not be the file's.
    if (!head.contentEncoding.empty() && head.contentEncoding != "identity") {
        return Refusal("the server sent the file encoded (" + head.contentEncoding + ")");
    }
    const std::uint64_t largest = expectedSize != 0 ? expectedSize : kLargestBody;
    std::uint64_t total = 0;
    BodyAction action = BodyAction::kWriteFromStart;
    if (head.status == 206) {
        // Only the range asked for continues the bytes there; any other would mix files.
        if (offset == 0 || !head.rangeFirst || *head.rangeFirst != offset) {
            return Refusal("the server sent another part of the file than the one asked for");
        }
        if (head.rangeTotal) total = *head.rangeTotal;
        if (head.contentLength && *head.contentLength != *head.rangeLast - *head.rangeFirst + 1) {
            return Refusal("the server's answer could not be read");
        }
        action = BodyAction::kAppend;
    } else if (head.contentLength) {
        total = *head.contentLength;
    }
    if (total > largest) {
        if (expectedSize != 0) {
            BodyPlan refused = Refusal("the server announced " + Bytes(total) + " for a file of " +
                                       Bytes(expectedSize));
            refused.contradictsExpected = true;
            return refused;
        }
        return Refusal("the server announced " + Bytes(total) + " for a file of " +
                       (expectedSize != 0 ? Bytes(expectedSize) : "at most " + Bytes(largest)));
    }
    if (expectedSize != 0 && total != 0 && total != expectedSize) {
        BodyPlan refused = Refusal("the server announced " + Bytes(total) + " for a file of " +
                                   Bytes(expectedSize));
        refused.contradictsExpected = true;
        return refused;
    }
    return {action, total, {}};
}
