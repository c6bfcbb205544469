#include "platform/win32/center_window.h"

#include "platform/window_geometry.h"

void CenterWindow(HWND window) {
    HWND parent = GetParent(window);
    if (parent == nullptr) parent = GetDesktopWindow();
    RECT parentRect{};
    RECT windowRect{};
    GetWindowRect(parent, &parentRect);
    GetWindowRect(window, &windowRect);
    const ScreenPoint origin =
        CenteredOrigin({parentRect.left, parentRect.top, parentRect.right, parentRect.bottom},
                       {windowRect.left, windowRect.top, windowRect.right, windowRect.bottom});
    SetWindowPos(window, nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
