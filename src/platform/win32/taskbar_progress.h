// The window's taskbar button as a second progress bar, for work that runs while the
// player looks elsewhere.
#pragma once

#include <windows.h>

#include <shobjidl.h>

class TaskbarProgress {
public:
    // Watches progressBar, a child of window: while work runs, whatever is written to
    // the bar (from any thread) shows on the button too.
    TaskbarProgress(HWND window, HWND progressBar);
    ~TaskbarProgress();
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    void Begin();
    // A failure leaves the button red where the bar stopped until the next Begin;
    // otherwise the button is plain again. The window flashes when it is not in front.
    void End(bool failed);

private:
    static LRESULT CALLBACK BarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR self);
    void Mirror();
    ITaskbarList3* Button();

    HWND window_;
    HWND bar_;
    ITaskbarList3* button_ = nullptr;
    bool tried_ = false;
    bool running_ = false;
};
