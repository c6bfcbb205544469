#include "settings/settings_dialog.h"

#include "launcher/window_handles.h"
#include "platform/win32/center_window.h"
#include "resource_ids.h"

namespace {

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            CenterWindow(dialog);
            return TRUE;
        case WM_COMMAND:
            if (wParam == IDOK || wParam == IDCANCEL) EndDialog(dialog, 0);
            return FALSE;
    }
    return FALSE;
}

}  // namespace

INT_PTR RunSettingsDialog() {
    return DialogBoxParamA(Handles().moduleInstance, MAKEINTRESOURCEA(IDD_SETTINGS), nullptr,
                           SettingsDialogProc, 0);
}
