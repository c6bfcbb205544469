#include "platform/win32/window_status_sink.h"

#include <commctrl.h>

void WindowStatusSink::SetStatusText(const std::string& text) {
    // The control is transparent: hiding it repaints the background under the old text.
    ShowWindow(statusText_, SW_HIDE);
    SendMessageA(statusText_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ShowWindow(statusText_, SW_SHOW);
}

void WindowStatusSink::SetProgress(std::uint32_t position, std::uint32_t maximum) {
    SendMessageA(progressBar_, PBM_SETRANGE32, 0, static_cast<LPARAM>(maximum));
    SendMessageA(progressBar_, PBM_SETPOS, position, 0);
}
