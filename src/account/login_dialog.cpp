#include "account/login_dialog.h"

#include "account/sign_in.h"
#include "platform/win32/center_window.h"
#include "platform/win32/dialog.h"
#include "resource_ids.h"

namespace {

struct LoginForm {
    std::string userKeyPath;
    std::optional<std::string> userKey;  // set once signed in
};

void ShowError(HWND dialog, const char* body, const char* caption) {
    MessageBoxA(dialog, body, caption, MB_ICONERROR | MB_OK);
}

void OnLogin(HWND dialog, LoginForm& form) {
    char userName[35] = {};
    char password[200] = {};
    GetDlgItemTextA(dialog, IDC_LOGIN_USERNAME, userName, sizeof userName);
    GetDlgItemTextA(dialog, IDC_LOGIN_PASSWORD, password, sizeof password);

    const Login login = AttemptLogin(userName, password, form.userKeyPath);
    switch (login.result) {
        case LoginResult::kSignedIn:
            form.userKey = login.userKey;
            EndDialog(dialog, IDOK);
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

INT_PTR CALLBACK LoginDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    LoginForm* form = DialogData<LoginForm>(dialog, message, lParam);
    if (form == nullptr) return FALSE;
    switch (message) {
        case WM_INITDIALOG:
            CenterWindow(dialog);
            return TRUE;
        case WM_CLOSE:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case WM_COMMAND: {
            const DialogCommand command = DecodeCommand(wParam);
            if (!command.Chosen()) return TRUE;
            if (command.control == IDC_LOGIN_BUTTON) OnLogin(dialog, *form);
            // Escape: as the close box.
            if (command.control == IDCANCEL) EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
    }
    return FALSE;
}

}  // namespace

std::optional<std::string> RunLoginDialog(HINSTANCE instance, const std::string& userKeyPath) {
    LoginForm form{userKeyPath, std::nullopt};
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_LOGIN), nullptr, LoginDialogProc,
                    reinterpret_cast<LPARAM>(&form));
    return form.userKey;
}
