#include "platform/win32/window_status_sink.h"

#include <windows.h>

#include <commctrl.h>

#include "launcher/window_handles.h"

void WindowStatusSink::SetStatusText(const std::string& text) {
    HWND control = Handles().statusText;
    if (control == nullptr) return;
    // The control is transparent: hiding it repaints the background under the old text.
    ShowWindow(control, SW_HIDE);
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ShowWindow(control, SW_SHOW);
}

void WindowStatusSink::SetProgress(std::uint32_t position, std::uint32_t maximum) {
    HWND bar = Handles().progressBar;
    if (bar == nullptr) return;
    SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(maximum));
    SendMessageA(bar, PBM_SETPOS, position, 0);
}
