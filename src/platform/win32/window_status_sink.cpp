#include "platform/win32/window_status_sink.h"

#include <commctrl.h>

void WindowStatusSink::SetStatusText(const std::string& text) {
    // The control is transparent: hiding it repaints the background under the old text.
    ShowWindow(statusText_, SW_HIDE);
    SendMessageA(statusText_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ShowWindow(statusText_, SW_SHOW);
}

void WindowStatusSink::SetProgress(std::uint64_t position, std::uint64_t maximum) {
    // The bar counts in a signed 32-bit range: a file over 2 GiB is shown to scale.
    while (maximum > 0x7FFFFFFF) {
        maximum >>= 1;
        position >>= 1;
    }
    SendMessageA(progressBar_, PBM_SETRANGE32, 0, static_cast<LPARAM>(maximum));
    SendMessageA(progressBar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}
