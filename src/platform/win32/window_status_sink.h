#pragma once

#include "platform/status_sink.h"

// The main window's status text (control 1012) and progress bar (control 1010). Safe
// from the worker thread: every call is a synchronous message to the UI thread.
class WindowStatusSink final : public StatusSink {
public:
    void SetStatusText(const std::string& text) override;
    void SetProgress(std::uint32_t position, std::uint32_t maximum) override;
};
