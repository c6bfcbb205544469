#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "account/login_dialog.h"
#include "account/sign_in.h"
#include "account/user_key_file.h"
#include "launcher/main_window.h"
#include "launcher/session.h"
#include "net/http_downloader.h"
#include "platform/file_system.h"
#include "platform/folders.h"
#include "platform/path.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/create_process_runner.h"
#include "platform/win32/registry_client_store.h"
#include "settings/download_limit.h"
#include "update/install_layout.h"
#include "update/self_update.h"
#include "update/web_servers.h"

namespace {

void ShowError(const char* body, const char* caption) {
    MessageBoxA(nullptr, body, caption, MB_ICONERROR | MB_OK);
}

// A launcher started by a self-update takes the old one's place; the old process may
// take a moment to end and let go of its file (each move itself waits a little for it).
void FinishSelfUpdate(const InstallLayout& layout) {
    const DWORD start = GetTickCount();
    while (!FinishLauncherReplacement(layout, ExecutablePath())) {
        if (GetTickCount() - start > 10000) return;
        Sleep(100);
    }
}

// The signed-in player, or nothing when the launcher is to end.
bool SignIn(HINSTANCE instance, const InstallLayout& layout, Session& session) {
    const std::string keyPath = JoinPath(layout.install, kUserKeyFileName);
    if (auto key = ReadUserKeyFile(keyPath)) {
        session.userKey = *key;
    } else if (auto signedIn = RunLoginDialog(instance, keyPath)) {
        session.userKey = *signedIn;
    } else {
        return false;
    }

    const KeyCheck check = CheckUserKey(session.userKey);
    switch (check.result) {
        case KeyCheckResult::kUnreachable:
            ShowError("Connection Failed",
                      "Could not reach the account service. Check your connection and start the "
                      "launcher again.");
            return false;
        case KeyCheckResult::kRejected:
            if (!RemoveFileIfPresent(keyPath)) {
                ShowError(("Your stored login credentials are invalid and " + keyPath +
                           " cannot be deleted. Delete it, then start the launcher again.")
                              .c_str(),
                          "Invalid Login");
                return false;
            }
            ShowError("Invalid Login",
                      "Your stored login credentials are invalid, restart the launcher and log in "
                      "again.");
            return false;
        case KeyCheckResult::kBanned:
            ShowError("User Banned", "Your account has been banned.");
            return false;
        case KeyCheckResult::kAccepted:
            session.userName = check.userName;
            return true;
    }
    return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The one description of this installation that every part of the engine is given.
    const InstallLayout layout(InstallDirectory());
    FinishSelfUpdate(layout);
    // msvcrt stops at 2048 and refuses 8192; archives share one handle per file, so the
    // lower limit is enough.
    _setmaxstdio(8192);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    // This thread downloads too (the sign-in, the opening checks, the server list).
    const ComApartment com;
    // The services outlive every window and the update worker: RunMainWindow returns only
    // once the worker has stopped.
    HttpOptions http;
    http.mirrors = WebServerMirrors();
    // The end-to-end tests shorten the wait for a silent server; players get the default.
    if (const char* stall = std::getenv("KESTRAVA_STALL_SECONDS")) {
        const long seconds = std::strtol(stall, nullptr, 10);
        if (seconds > 0 && seconds <= 300) http.stallSeconds = static_cast<unsigned>(seconds);
    }
    HttpDownloader downloader(http);
    SetDownloader(&downloader);
    CreateProcessRunner processRunner;
    SetProcessRunner(&processRunner);

    // The speed limit as the Settings dialog last saved it, for each run of the worker.
    const WorkerStart applyDownloadLimit = [&downloader] {
        RegistryClientStore registry;
        downloader.SetRateLimit(std::uint64_t{LoadDownloadLimit(registry)} * 1024);
    };
    applyDownloadLimit();

    Session session;
    if (SignIn(instance, layout, session)) {
        RunMainWindow(instance, layout, session, applyDownloadLimit);
    }
    SetProcessRunner(nullptr);
    SetDownloader(nullptr);
    return 0;
}
