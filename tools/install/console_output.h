// What kestrava-install prints. For people: a progress line on stderr while it is a
// terminal (nothing when it is a log or a pipe), and the outcome. For programs (--json):
// one JSON object a line on stdout for each event, and nothing else there.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>

#include "exit_codes.h"
#include "platform/status_sink.h"

class ConsoleOutput final : public StatusSink {
public:
    explicit ConsoleOutput(bool json);

    void SetStatusText(const std::string& text) override;
    void SetProgress(std::uint64_t, std::uint64_t) override {}
    void Report(const ProgressEvent& event) override;

    bool json() const { return json_; }
    // A line of the outcome for people (stdout), or an event for programs.
    void Say(const std::string& text);
    void Event(nlohmann::json event);
    // A warning on stderr, in both modes.
    void Warn(const std::string& text);
    // The last line: success or nothing to do on stdout, a failure on stderr; the
    // "done" or "error" event with --json.
    ExitCode Finish(ExitCode code, const std::string& message);

private:
    void ClearLine();

    bool json_;
    bool terminal_;
    std::size_t shownWidth_ = 0;
    std::chrono::steady_clock::time_point shownAt_{};
};
