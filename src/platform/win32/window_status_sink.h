#pragma once

#include <windows.h>

#include "platform/status_sink.h"

// A window's status text and progress bar. Safe from a worker thread: every call is a
// synchronous message to the window's thread, and to a window already gone, nothing.
class WindowStatusSink final : public StatusSink {
public:
    WindowStatusSink(HWND statusText, HWND progressBar)
        : statusText_(statusText), progressBar_(progressBar) {}

    void SetStatusText(const std::string& text) override;
    void SetProgress(std::uint64_t position, std::uint64_t maximum) override;

private:
    HWND statusText_;
    HWND progressBar_;
};
