#include "account/login_dialog.h"

#include "launcher/window_handles.h"
#include "platform/win32/center_window.h"
#include "resource_ids.h"

namespace {

INT_PTR CALLBACK LoginDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            CenterWindow(dialog);
            return TRUE;
        case WM_CLOSE:
            EndDialog(dialog, kLoginClosed);
            return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR RunLoginDialog() {
    return DialogBoxParamA(Handles().moduleInstance, MAKEINTRESOURCEA(IDD_LOGIN), nullptr,
                           LoginDialogProc, 0);
}
