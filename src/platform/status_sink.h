// Where portable code reports progress: the main window's status text and progress
// bar in the launcher, stderr in the tools, a recorder in tests.
#pragma once

#include <cstdint>
#include <string>

class StatusSink {
public:
    virtual ~StatusSink() = default;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetProgress(std::uint64_t position, std::uint64_t maximum) = 0;
};

// Installs the process-wide sink (nullptr restores the one that discards everything).
void SetStatusSink(StatusSink* sink);
StatusSink& Status();
