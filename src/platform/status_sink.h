// Where portable code reports progress: the main window's status text and progress
// bar in the launcher, stderr in the tools, a recorder in tests.
#pragma once

#include <cstdint>
#include <string>

// What the texts tell a person, as facts for a program (a panel, a CI job).
struct ProgressEvent {
    enum class Kind {
        kFileStarted,     // name: the file's name; size: its size, 0 while unknown
        kFileBytes,       // position of size bytes have arrived
        kFileDone,        // the file is in place
        kVersionApplied,  // name: the version the game folder now holds
    };
    Kind kind;
    std::string name;
    std::uint64_t position = 0;
    std::uint64_t size = 0;
};

class StatusSink {
public:
    virtual ~StatusSink() = default;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetProgress(std::uint64_t position, std::uint64_t maximum) = 0;
    // Sinks that show only the texts ignore the facts.
    virtual void Report(const ProgressEvent&) {}
};

// Installs the process-wide sink (nullptr restores the one that discards everything).
void SetStatusSink(StatusSink* sink);
StatusSink& Status();
