#include "account/login_dialog.h"

#include "account/sign_in.h"
#include "launcher/user_key_file.h"
#include "launcher/window_handles.h"
#include "platform/folders.h"
#include "platform/path.h"
#include "platform/win32/center_window.h"
#include "resource_ids.h"

namespace {

void ShowError(HWND dialog, const char* body, const char* caption) {
    MessageBoxA(dialog, body, caption, MB_ICONERROR | MB_OK);
}

void OnLogin(HWND dialog) {
    char userName[35] = {};
    char password[200] = {};
    GetDlgItemTextA(dialog, IDC_LOGIN_USERNAME, userName, sizeof userName);
    GetDlgItemTextA(dialog, IDC_LOGIN_PASSWORD, password, sizeof password);

    const std::string keyPath = JoinPath(InstallDirectory(), kUserKeyFileName);
    switch (AttemptLogin(userName, password, keyPath)) {
        case LoginResult::kSignedIn:
            EndDialog(dialog, kLoginSignedIn);
            break;
        case LoginResult::kInvalid:
            ShowError(dialog, "Invalid Login", "Your login details are invalid");
            break;
        case LoginResult::kUnreachable:
            ShowError(dialog, "Connection Failed",
                      "Could not reach the account service. Check your connection and try again.");
            break;
        case LoginResult::kNotStored:
            ShowError(dialog, "Login Not Saved",
                      "Your login could not be saved in the launcher's folder. Check that the "
                      "folder can be written and try again.");
            break;
    }
}

INT_PTR CALLBACK LoginDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            CenterWindow(dialog);
            return TRUE;
        case WM_CLOSE:
            EndDialog(dialog, kLoginClosed);
            return TRUE;
        case WM_COMMAND:
            if (wParam == IDC_LOGIN_BUTTON) OnLogin(dialog);
            return FALSE;
    }
    return FALSE;
}

}  // namespace

INT_PTR RunLoginDialog() {
    return DialogBoxParamA(Handles().moduleInstance, MAKEINTRESOURCEA(IDD_LOGIN), nullptr,
                           LoginDialogProc, 0);
}
