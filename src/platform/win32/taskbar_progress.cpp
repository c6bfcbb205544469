#include "platform/win32/taskbar_progress.h"

#include <commctrl.h>

namespace {

constexpr UINT_PTR kSubclassId = 1;

bool InBackground(HWND window) { return GetForegroundWindow() != window; }

}  // namespace

TaskbarProgress::TaskbarProgress(HWND window, HWND progressBar)
    : window_(window), bar_(progressBar) {
    SetWindowSubclass(bar_, BarProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

TaskbarProgress::~TaskbarProgress() {
    if (bar_ != nullptr) RemoveWindowSubclass(bar_, BarProc, kSubclassId);
    if (button_ != nullptr) button_->Release();
}

// Made on first use: the button exists only once the window has been shown. Without
// a taskbar (a shell that has none) the work runs as before.
ITaskbarList3* TaskbarProgress::Button() {
    if (!tried_) {
        tried_ = true;
        ITaskbarList3* list = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_ITaskbarList3, reinterpret_cast<void**>(&list)))) {
            if (SUCCEEDED(list->HrInit())) {
                button_ = list;
            } else {
                list->Release();
            }
        }
    }
    return button_;
}

void TaskbarProgress::Begin() {
    running_ = true;
    if (ITaskbarList3* button = Button()) button->SetProgressState(window_, TBPF_NORMAL);
    Mirror();
}

void TaskbarProgress::End(bool failed) {
    running_ = false;
    if (ITaskbarList3* button = Button()) {
        if (failed) {
            // Red at zero is no red at all.
            if (bar_ == nullptr || SendMessageA(bar_, PBM_GETPOS, 0, 0) <= 0)
                button->SetProgressValue(window_, 1, 1);
            button->SetProgressState(window_, TBPF_ERROR);
        } else {
            button->SetProgressState(window_, TBPF_NOPROGRESS);
        }
    }
    if (InBackground(window_)) {
        FLASHWINFO flash{sizeof flash, window_, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
        FlashWindowEx(&flash);
    }
}

// Reads the bar back rather than the message: every way of moving it (range, position,
// step) ends here with the bar's own values.
void TaskbarProgress::Mirror() {
    if (!running_ || bar_ == nullptr || Button() == nullptr) return;
    PBRANGE range{};
    SendMessageA(bar_, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    const LRESULT position = SendMessageA(bar_, PBM_GETPOS, 0, 0);
    if (range.iHigh <= range.iLow) return;
    const auto done = static_cast<ULONGLONG>(position - range.iLow);
    button_->SetProgressValue(window_, done, static_cast<ULONGLONG>(range.iHigh - range.iLow));
}

// Runs on the window's thread, whichever thread wrote to the bar: a message sent to a
// window is handled by the thread that made it, as the taskbar's COM object requires.
LRESULT CALLBACK TaskbarProgress::BarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR self) {
    auto* progress = reinterpret_cast<TaskbarProgress*>(self);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(bar, BarProc, kSubclassId);
        progress->bar_ = nullptr;
        return DefSubclassProc(bar, message, wParam, lParam);
    }
    const LRESULT result = DefSubclassProc(bar, message, wParam, lParam);
    switch (message) {
        case PBM_SETRANGE:
        case PBM_SETRANGE32:
        case PBM_SETPOS:
        case PBM_DELTAPOS:
        case PBM_STEPIT:
            progress->Mirror();
            break;
    }
    return result;
}
