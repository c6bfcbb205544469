// A status sink that keeps every text and progress step, for tests of what the player
// would see.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/status_sink.h"

class RecordingStatus final : public StatusSink {
public:
    void SetStatusText(const std::string& text) override { texts.push_back(text); }
    void SetProgress(std::uint64_t position, std::uint64_t maximum) override {
        progress.emplace_back(position, maximum);
    }
    std::vector<std::string> texts;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
};
