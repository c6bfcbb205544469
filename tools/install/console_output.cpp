#include "console_output.h"

#include <cstdio>
#include <iostream>

#include "platform/terminal.h"

namespace {

// Wider lines wrap on an 80-column terminal and the carriage return no longer redraws them.
constexpr std::size_t kLineWidth = 79;

const char* EventName(ProgressEvent::Kind kind) {
    switch (kind) {
        case ProgressEvent::Kind::kFileStarted:
            return "file-started";
        case ProgressEvent::Kind::kFileBytes:
            return "bytes";
        case ProgressEvent::Kind::kFileDone:
            return "file-done";
        case ProgressEvent::Kind::kVersionApplied:
            return "version-applied";
    }
    return "event";
}

}  // namespace

ConsoleOutput::ConsoleOutput(bool json) : json_(json), terminal_(!json && StderrIsTerminal()) {}

void ConsoleOutput::SetStatusText(const std::string& text) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    // A few redraws a second: each file's name would flicker past faster than it is read.
    if (now - shownAt_ < std::chrono::milliseconds(100)) return;
    shownAt_ = now;
    std::string line = text.substr(0, kLineWidth);
    const std::size_t width = line.size();
    if (width < shownWidth_) line.append(shownWidth_ - width, ' ');
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
    shownWidth_ = width;
}

void ConsoleOutput::ClearLine() {
    if (!terminal_ || shownWidth_ == 0) return;
    std::fprintf(stderr, "\r%s\r", std::string(shownWidth_, ' ').c_str());
    std::fflush(stderr);
    shownWidth_ = 0;
}

void ConsoleOutput::Report(const ProgressEvent& event) {
    if (!json_) return;
    nlohmann::json line = {{"event", EventName(event.kind)}};
    if (event.kind == ProgressEvent::Kind::kVersionApplied) {
        line["version"] = event.name;
    } else {
        line["file"] = event.name;
        if (event.kind != ProgressEvent::Kind::kFileDone || event.size != 0) {
            line["done"] = event.position;
            line["size"] = event.size;
        }
    }
    Event(std::move(line));
}

void ConsoleOutput::Say(const std::string& text) {
    if (json_) return;
    ClearLine();
    std::cout << text << std::endl;
}

void ConsoleOutput::Event(nlohmann::json event) {
    if (!json_) return;
    // Names from a release tree are untrusted bytes: replaced, never a broken line.
    std::cout << event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

void ConsoleOutput::Warn(const std::string& text) {
    ClearLine();
    std::cerr << "kestrava-install: " << text << std::endl;
}

ExitCode ConsoleOutput::Finish(ExitCode code, const std::string& message) {
    const bool failed = code != ExitCode::kSuccess && code != ExitCode::kNothingToDo;
    if (json_) {
        Event({{"event", failed ? "error" : "done"},
               {"exit", static_cast<int>(code)},
               {"cause", ExitCodeName(code)},
               {"message", message}});
    } else if (failed) {
        Warn(message);
    } else if (!message.empty()) {
        Say(message);
    }
    ClearLine();
    return code;
}
