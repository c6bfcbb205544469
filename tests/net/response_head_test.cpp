#include "net/response_head.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

struct Case {
    const char* name;
    const char* head;  // lines separated by '|'
    std::uint64_t offset;
    std::uint64_t expected;
    BodyAction action;
    std::uint64_t total;
    const char* refusal;  // a part of the words, for kRefuse
};

ResponseHead Parse(const std::string& text) {
    ResponseHead head;
    std::stringstream lines(text);
    std::string line;
    while (std::getline(lines, line, '|')) head.AddLine(line + "\r\n");
    return head;
}

const Case kCases[] = {
    {"whole file", "HTTP/1.1 200 OK|Content-Length: 10", 0, 10, BodyAction::kWriteFromStart, 10,
     ""},
    {"range honoured", "HTTP/1.1 206 Partial|Content-Range: bytes 4-9/10|Content-Length: 6", 4, 0,
     BodyAction::kAppend, 10, ""},
    {"range ignored: start over", "HTTP/1.1 200 OK|Content-Length: 10", 4, 0,
     BodyAction::kWriteFromStart, 10, ""},
    {"another range than asked", "HTTP/1.1 206 Partial|Content-Range: bytes 0-9/10", 4, 0,
     BodyAction::kRefuse, 0, "another part"},
    {"range without asking", "HTTP/1.1 206 Partial|Content-Range: bytes 0-9/10", 0, 0,
     BodyAction::kRefuse, 0, "another part"},
    {"range length disagrees", "HTTP/1.1 206 P|Content-Range: bytes 4-9/10|Content-Length: 9", 4, 0,
     BodyAction::kRefuse, 0, "could not be read"},
    {"416, all there", "HTTP/1.1 416 R|Content-Range: bytes */10", 10, 10,
     BodyAction::kAlreadyWhole, 10, ""},
    {"416, file changed", "HTTP/1.1 416 R|Content-Range: bytes */8", 10, 0, BodyAction::kStartOver,
     0, ""},
    {"server error", "HTTP/1.1 503 Busy", 0, 0, BodyAction::kServerError, 0, ""},
    {"not found", "HTTP/1.1 404 Not Found", 0, 0, BodyAction::kRefuse, 0, "status 404"},
    {"2^63", "HTTP/1.1 200 OK|Content-Length: 9223372036854775808", 0, 0, BodyAction::kRefuse, 0,
     "at most"},
    {"past 64 bits", "HTTP/1.1 200 OK|Content-Length: 99999999999999999999999", 0, 0,
     BodyAction::kRefuse, 0, "could not be read"},
    {"two lengths", "HTTP/1.1 200 OK|Content-Length: 5|Content-Length: 6", 0, 0,
     BodyAction::kRefuse, 0, "could not be read"},
    {"not the signed size", "HTTP/1.1 200 OK|Content-Length: 300", 0, 10, BodyAction::kRefuse, 0,
     "for a file of 10 bytes"},
    {"gzip unasked", "HTTP/1.1 200 OK|Content-Encoding: gzip|Content-Length: 4", 0, 0,
     BodyAction::kRefuse, 0, "encoded (gzip)"},
    {"redirect's head forgotten", "HTTP/1.1 302 Found|Content-Length: 99|HTTP/1.1 200 OK", 0, 0,
     BodyAction::kWriteFromStart, 0, ""},
};

}  // namespace

TEST(ResponseHead, EachAnswerIsJudgedBeforeAByteIsStored) {
    for (const Case& c : kCases) {
        const BodyPlan plan = PlanBody(Parse(c.head), c.offset, c.expected);
        EXPECT_EQ(plan.action, c.action) << c.name;
        EXPECT_EQ(plan.total, c.total) << c.name;
        EXPECT_NE(plan.refusal.find(c.refusal), std::string::npos)
            << c.name << ": " << plan.refusal;
    }
}

TEST(ResponseHead, OnlyAStrongValidatorMayResume) {
    EXPECT_EQ(Parse("HTTP/1.1 200 OK|ETag: \"a1\"|Last-Modified: x").Validator(), "\"a1\"");
    EXPECT_EQ(Parse("HTTP/1.1 200 OK|ETag: W/\"a1\"|Last-Modified: x").Validator(), "");
    EXPECT_EQ(Parse("HTTP/1.1 200 OK|Last-Modified: Tue, 1 Dec 2026").Validator(),
              "Tue, 1 Dec 2026");
}
