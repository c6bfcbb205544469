#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "account/login_dialog.h"
#include "account/sign_in.h"
#include "launcher/launcher_state.h"
#include "launcher/main_window.h"
#include "launcher/self_update.h"
#include "launcher/user_key_file.h"
#include "launcher/window_handles.h"
#include "platform/file_system.h"
#include "platform/folders.h"
#include "platform/path.h"
#include "platform/win32/create_process_runner.h"
#include "platform/win32/url_downloader.h"
#include "platform/win32/window_status_sink.h"

namespace {

void ShowError(const char* body, const char* caption) {
    MessageBoxA(nullptr, body, caption, MB_ICONERROR | MB_OK);
}

// A launcher started by a self-update takes the old one's place; the old process may
// take a moment to end and let go of its file.
void FinishSelfUpdate() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (FinishLauncherReplacement(InstallDirectory(), ExecutablePath())) return;
        Sleep(100);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    Handles().moduleInstance = instance;
    FinishSelfUpdate();
    // msvcrt stops at 2048 and refuses 8192; archives share one handle per file, so the
    // lower limit is enough.
    _setmaxstdio(8192);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    UrlDownloader downloader;
    SetDownloader(&downloader);
    WindowStatusSink statusSink;
    SetStatusSink(&statusSink);
    CreateProcessRunner processRunner;
    SetProcessRunner(&processRunner);

    const std::string keyPath = JoinPath(InstallDirectory(), kUserKeyFileName);
    if (auto key = ReadUserKeyFile(keyPath)) {
        Launcher().userKey = *key;
    } else if (RunLoginDialog() == kLoginClosed) {
        return 0;
    }

    const KeyCheck check = CheckUserKey(Launcher().userKey);
    switch (check.result) {
        case KeyCheckResult::kUnreachable:
            ShowError("Connection Failed",
                      "Could not reach the account service. Check your connection and start the "
                      "launcher again.");
            return 0;
        case KeyCheckResult::kRejected:
            ShowError("Invalid Login",
                      "Your stored login credentials are invalid, restart the launcher and log in "
                      "again.");
            RemoveFileIfPresent(keyPath);
            return 0;
        case KeyCheckResult::kBanned:
            ShowError("User Banned", "Your account has been banned.");
            return 0;
        case KeyCheckResult::kAccepted:
            Launcher().userName = check.userName;
            break;
    }
    return static_cast<int>(RunMainWindow());
}
