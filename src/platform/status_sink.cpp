#include "platform/status_sink.h"

namespace {

class DiscardingSink final : public StatusSink {
public:
    void SetStatusText(const std::string&) override {}
    void SetProgress(std::uint64_t, std::uint64_t) override {}
};

DiscardingSink discarding;
StatusSink* current = &discarding;

}  // namespace

void SetStatusSink(StatusSink* sink) { current = sink != nullptr ? sink : &discarding; }

StatusSink& Status() { return *current; }
