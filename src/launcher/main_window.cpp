#include "launcher/main_window.h"

#include <cstdio>
#include <string>

#include "launcher/launcher_state.h"
#include "launcher/user_key_file.h"
#include "launcher/window_handles.h"
#include "platform/folders.h"
#include "platform/path.h"
#include "platform/win32/center_window.h"
#include "resource_ids.h"
#include "settings/settings_dialog.h"

namespace {

void OnOpen(HWND dialog) {
    CenterWindow(dialog);
    WindowHandles& handles = Handles();
    handles.mainWindow = dialog;
    handles.progressBar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    handles.statusText = GetDlgItem(dialog, IDC_STATUS_TEXT);
    if (handles.background == nullptr) {
        handles.background = LoadBitmapA(handles.moduleInstance, MAKEINTRESOURCEA(IDB_BACKGROUND));
    }
    SetDlgItemTextA(dialog, IDC_USER_NAME, Launcher().userName.c_str());
    char version[100];
    std::snprintf(version, sizeof version, "Launcher Version %s", kLauncherVersion);
    SetDlgItemTextA(dialog, IDC_LAUNCHER_VERSION, version);
}

void PaintBackground(HWND dialog, HDC target) {
    RECT client{};
    GetClientRect(dialog, &client);
    DPtoLP(target, reinterpret_cast<POINT*>(&client), 2);
    HDC memory = CreateCompatibleDC(target);
    HGDIOBJ previous = SelectObject(memory, Handles().background);
    BitBlt(target, 0, 0, client.right - client.left, client.bottom - client.top, memory, 0, 0,
           SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
}

void Logout(HWND dialog) {
    RemoveFileIfPresent(JoinPath(InstallDirectory(), kUserKeyFileName));
    EndDialog(dialog, 0);
}

INT_PTR CALLBACK MainWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnOpen(dialog);
            return TRUE;
        case WM_ERASEBKGND:
            PaintBackground(dialog, reinterpret_cast<HDC>(wParam));
            return TRUE;
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(255, 255, 255));
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
        }
        case WM_COMMAND:
            if (wParam == IDC_LOGOUT_BUTTON) Logout(dialog);
            if (wParam == IDC_SETTINGS_BUTTON) RunSettingsDialog();
            return FALSE;
        case WM_CLOSE:
            EndDialog(dialog, 0);
            return TRUE;
    }
    (void)lParam;
    return FALSE;
}

}  // namespace

INT_PTR RunMainWindow() {
    return DialogBoxParamA(Handles().moduleInstance, MAKEINTRESOURCEA(IDD_MAIN_WINDOW), nullptr,
                           MainWindowProc, 0);
}
