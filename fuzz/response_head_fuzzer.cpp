// A server's answer as the HTTP client judges it before storing a byte: any head must be
// read and judged without a crash, and a plan that stores the body must agree with what
// was asked and what the release says of the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/response_head.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first two bytes choose what was asked: a resumption, and a signed size.
    const std::uint64_t offset = data[0] % 4 == 0 ? 0 : std::uint64_t{data[0]} * 1000;
    const std::uint64_t expected = data[1] % 3 == 0 ? 0 : std::uint64_t{data[1]} * 4000;
    const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
    ResponseHead head;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        head.AddLine(text.substr(start, end - start));
        start = end + 1;
    }
    head.Validator();
    const BodyPlan plan = PlanBody(head, offset, expected);
    const bool stores =
        plan.action == BodyAction::kAppend || plan.action == BodyAction::kWriteFromStart;
    if (stores && expected != 0 && plan.total != 0 && plan.total != expected) std::abort();
    if (stores && plan.total > (expected != 0 ? expected : kLargestBody)) std::abort();
    if (plan.action == BodyAction::kAppend && (offset == 0 || head.status != 206)) std::abort();
    if (plan.action == BodyAction::kRefuse && plan.refusal.empty()) std::abort();
    return 0;
}
