#include "launcher/main_window.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "account/user_key_file.h"
#include "launcher/background_art.h"
#include "launcher/game_launch.h"
#include "launcher/running_game.h"
#include "launcher/update_worker.h"
#include "platform/file_system.h"
#include "platform/folders.h"
#include "platform/path.h"
#include "platform/status_sink.h"
#include "platform/stop_request.h"
#include "platform/win32/center_window.h"
#include "platform/win32/dialog.h"
#include "platform/win32/gdi.h"
#include "platform/win32/system_error.h"
#include "platform/win32/taskbar_progress.h"
#include "platform/win32/window_status_sink.h"
#include "resource_ids.h"
#include "settings/settings_dialog.h"
#include "update/launcher_version.h"
#include "update/opening.h"
#include "update/signed_release.h"

namespace {

enum class MainAction {
    kInstall,
    kUpdate,
    kPlay,
    kUpdateLauncher,
    kRetry,  // the version catalogue could not be read: run the opening checks again
    kStop,   // the worker runs: ask it to stop
};

// The window's own data, from its opening to the end of RunMainWindow. The worker is
// the last member, so it is waited for before anything it reports to goes.
struct MainWindow {
    MainWindow(HINSTANCE instance, const InstallLayout& layout, const Session& session,
               const WorkerStart& beforeWork)
        : instance(instance), layout(layout), session(session), beforeWork(beforeWork) {}

    HINSTANCE instance;
    const InstallLayout& layout;
    const Session& session;
    const WorkerStart& beforeWork;
    bool closeWhenStopped = false;  // the player chose to stop the work and close
    MainAction action = MainAction::kInstall;
    // Addresses of the server list's entries; each entry's item data is its index here,
    // so an address always stays with the name it was read with, however the list sorts.
    std::vector<std::string> serverAddresses;
    UniqueBitmap background;
    SIZE backgroundSize{};
    std::unique_ptr<WindowStatusSink> statusSink;
    std::unique_ptr<TaskbarProgress> taskbar;
    MainWindowEnd end = MainWindowEnd::kClosed;
    UpdateWorker worker;
};

// Whatever the window has just come to offer, Enter or Space does it next. Posted: at
// the opening the dialog manager would move the focus to the first tab stop after us.
void FocusMainButton(HWND dialog) {
    PostMessageA(dialog, WM_NEXTDLGCTL,
                 reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_MAIN_BUTTON)), TRUE);
}

void ShowError(HWND owner, const std::string& text, const std::string& caption) {
    MessageBoxA(owner, text.c_str(), caption.c_str(), MB_ICONERROR | MB_OK);
}

void SetMainButton(HWND dialog, MainWindow& window, MainAction action, const char* caption) {
    SetDlgItemTextA(dialog, IDC_MAIN_BUTTON, caption);
    window.action = action;
    FocusMainButton(dialog);
}

// Logout and Settings would pull the ground from under a running worker.
void EnableButtons(HWND dialog, bool enabled) {
    for (int control : {IDC_MAIN_BUTTON, IDC_LOGOUT_BUTTON, IDC_SETTINGS_BUTTON}) {
        EnableWindow(GetDlgItem(dialog, control), enabled ? TRUE : FALSE);
    }
}

void FillServerList(HWND dialog, MainWindow& window) {
    const auto servers = LoadServerList(window.layout);
    if (!servers) {
        Status().SetStatusText("Could not load the server list");
        return;
    }
    HWND list = GetDlgItem(dialog, IDC_SERVER_LIST);
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    window.serverAddresses.clear();
    for (const GameServer& server : *servers) {
        const LRESULT entry =
            SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(server.name.c_str()));
        if (entry < 0) continue;
        SendMessageA(list, CB_SETITEMDATA, entry,
                     static_cast<LPARAM>(window.serverAddresses.size()));
        window.serverAddresses.push_back(server.address);
    }
}

void ShowPlay(HWND dialog, MainWindow& window) {
    ShowWindow(GetDlgItem(dialog, IDC_SERVER_LIST_LABEL), SW_SHOW);
    ShowWindow(GetDlgItem(dialog, IDC_SERVER_LIST), SW_SHOW);
    FillServerList(dialog, window);
    SetMainButton(dialog, window, MainAction::kPlay, "&Play");
}

// Everything after the labels: the launcher's own version, then the game's state.
void DecideMainButton(HWND dialog, MainWindow& window) {
    const LauncherVersionStatus launcher = TestLauncherVersion(window.layout);
    if (launcher == LauncherVersionStatus::kOutOfDate) {
        SetMainButton(dialog, window, MainAction::kUpdateLauncher, "&Update Launcher");
        return;
    }
    std::string refusal;
    switch (DecideGameState(window.layout, &refusal)) {
        case GameState::kNeedsInstall:
            SetMainButton(dialog, window, MainAction::kInstall, "&Install");
            break;
        case GameState::kNeedsUpdate:
            SetMainButton(dialog, window, MainAction::kUpdate, "&Update");
            break;
        case GameState::kCurrent:
            ShowPlay(dialog, window);
            break;
        case GameState::kCatalogueUnreadable:
            // The window is not shown yet: the box stands alone.
            ShowError(nullptr, "Could not read the version catalogue. Press Retry to try again.",
                      "Update Check Failed");
            SetMainButton(dialog, window, MainAction::kRetry, "&Retry");
            break;
        case GameState::kCatalogueRefused:
            ShowError(nullptr, refusal, kVerificationCaption);
            SetMainButton(dialog, window, MainAction::kRetry, "&Retry");
            break;
    }
    if (launcher == LauncherVersionStatus::kUnknown) {
        Status().SetStatusText("Could not check for launcher updates");
    }
}

void OnOpen(HWND dialog, MainWindow& window) {
    CenterWindow(dialog);
    window.statusSink = std::make_unique<WindowStatusSink>(GetDlgItem(dialog, IDC_STATUS_TEXT),
                                                           GetDlgItem(dialog, IDC_PROGRESS_BAR));
    SetStatusSink(window.statusSink.get());
    window.taskbar =
        std::make_unique<TaskbarProgress>(dialog, GetDlgItem(dialog, IDC_PROGRESS_BAR));
    SetDlgItemTextA(dialog, IDC_USER_NAME, window.session.userName.c_str());
    char version[100];
    std::snprintf(version, sizeof version, "Launcher Version %s", kLauncherVersion);
    SetDlgItemTextA(dialog, IDC_LAUNCHER_VERSION, version);
    DecideMainButton(dialog, window);
}

// Drawn for the client area's size, again whenever that changes (a move to a monitor
// of another DPI). Without memory for it the window is painted plain.
HBITMAP Background(MainWindow& window, int width, int height) {
    if (window.backgroundSize.cx != width || window.backgroundSize.cy != height) {
        const std::vector<std::uint32_t> pixels = DrawBackgroundArt(width, height);
        window.background = BitmapFromPixels(width, height, pixels.data());
        window.backgroundSize = {width, height};
    }
    return window.background.get();
}

void PaintBackground(HWND dialog, MainWindow& window, HDC target) {
    RECT client{};
    GetClientRect(dialog, &client);
    HBITMAP background = Background(window, client.right, client.bottom);
    if (background == nullptr) {
        FillRect(target, &client, GetSysColorBrush(COLOR_3DDKSHADOW));
        return;
    }
    DPtoLP(target, reinterpret_cast<POINT*>(&client), 2);
    const MemoryDC memory(target, background);
    BitBlt(target, 0, 0, client.right - client.left, client.bottom - client.top, memory.get(), 0, 0,
           SRCCOPY);
}

void Play(HWND dialog, const MainWindow& window) {
    HWND list = GetDlgItem(dialog, IDC_SERVER_LIST);
    const LRESULT selected = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) return;
    const auto index = static_cast<size_t>(SendMessageA(list, CB_GETITEMDATA, selected, 0));
    const std::string address =
        index < window.serverAddresses.size() ? window.serverAddresses[index] : std::string();
    const ProcessStart started =
        StartGame(window.layout.install,
                  GameCommandLine(address, window.session.userName, window.session.userKey));
    if (!started) {
        ShowError(dialog,
                  "The game could not be started:\n" + GameExecutablePath(window.layout.install) +
                      "\n\n" + started.failure + ".",
                  "Game Not Started");
    }
}

UpdateAction WorkerAction(MainAction action) {
    switch (action) {
        case MainAction::kUpdate:
            return UpdateAction::kUpdate;
        case MainAction::kUpdateLauncher:
            return UpdateAction::kReplaceLauncher;
        default:
            return UpdateAction::kInstall;
    }
}

// While the worker runs, the main button stops it; Logout and Settings wait.
void StartWorker(HWND dialog, MainWindow& window) {
    EnableButtons(dialog, false);
    ClearStopRequest();
    if (window.beforeWork) window.beforeWork();
    std::string reason;
    const UpdateAction action = WorkerAction(window.action);
    if (!window.worker.Start(action, window.layout, dialog, reason)) {
        EnableButtons(dialog, true);
        ShowError(dialog, "The install could not be started: " + reason + ".", "Install Failure");
        return;
    }
    SetMainButton(dialog, window, MainAction::kStop, "&Stop");
    EnableWindow(GetDlgItem(dialog, IDC_MAIN_BUTTON), TRUE);
    window.taskbar->Begin();
}

// A transfer aborts at once, file work at its next step; the worker's end then brings the
// window back to what a fresh start shows.
void StopWorker(HWND dialog) {
    RequestStop();
    EnableWindow(GetDlgItem(dialog, IDC_MAIN_BUTTON), FALSE);
    Status().SetStatusText("Stopping");
}

// What a fresh start of the launcher would show, for the work to be offered again.
void ShowFreshStart(HWND dialog, MainWindow& window) {
    EnableButtons(dialog, true);
    Status().SetStatusText("");
    Status().SetProgress(0, 0);
    DecideMainButton(dialog, window);
}

void OnMainButton(HWND dialog, MainWindow& window) {
    switch (window.action) {
        case MainAction::kPlay:
            Play(dialog, window);
            break;
        case MainAction::kRetry:
            DecideMainButton(dialog, window);
            break;
        case MainAction::kInstall:
        case MainAction::kUpdate:
            if (GameClosedForUpdate(dialog, window.layout.install)) StartWorker(dialog, window);
            break;
        case MainAction::kStop:
            StopWorker(dialog);
            break;
        default:
            StartWorker(dialog, window);
            break;
    }
}

// Success shows "&Play"; after a failure's message, or a stop, the work is offered again;
// a new launcher that has started takes over.
void OnWorkerDone(HWND dialog, MainWindow& window) {
    const UpdateOutcome outcome = window.worker.Finish();
    window.taskbar->End(outcome.next == UpdateOutcome::Next::kShowMessage);
    ClearStopRequest();
    if (window.closeWhenStopped) {
        EndDialog(dialog, 0);
        return;
    }
    switch (outcome.next) {
        case UpdateOutcome::Next::kNotifyWindow:
            EnableButtons(dialog, true);
            ShowPlay(dialog, window);
            break;
        case UpdateOutcome::Next::kShowMessage:
            EnableButtons(dialog, false);
            ShowError(dialog, outcome.text, outcome.caption);
            ShowFreshStart(dialog, window);
            break;
        case UpdateOutcome::Next::kStopped:
            ShowFreshStart(dialog, window);
            break;
        case UpdateOutcome::Next::kExitProcess:
            window.end = MainWindowEnd::kLauncherReplaced;
            EndDialog(dialog, 0);
            break;
    }
}

// Logging out mid-work would pull the ground from under the worker: it waits.
bool RefuseWhileWorking(HWND dialog, const MainWindow& window) {
    if (!window.worker.Running()) return false;
    MessageBoxA(dialog, "The launcher is still at work. It can be closed once it has finished.",
                "Launcher Busy", MB_ICONINFORMATION | MB_OK);
    return true;
}

// Closing mid-work stops the work first, if the player says so; what is left behind is a
// folder the next start continues from.
void OnClose(HWND dialog, MainWindow& window) {
    if (!window.worker.Running()) {
        EndDialog(dialog, 0);
        return;
    }
    const int answer =
        MessageBoxA(dialog,
                    "The launcher is at work. Stop the work and close the launcher?\n\n"
                    "The next start continues where it stopped.",
                    "Launcher Busy", MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2);
    if (answer != IDYES) return;
    // The work may have ended while the question was open.
    if (!window.worker.Running()) {
        EndDialog(dialog, 0);
        return;
    }
    window.closeWhenStopped = true;
    StopWorker(dialog);
}

void Logout(HWND dialog, MainWindow& window) {
    if (RefuseWhileWorking(dialog, window)) return;
    const std::string keyPath = JoinPath(window.layout.install, kUserKeyFileName);
    if (!RemoveFileIfPresent(keyPath)) {
        ShowError(dialog, "Your login could not be removed: " + keyPath + " cannot be deleted.",
                  "Logout Failed");
        return;
    }
    window.end = MainWindowEnd::kLoggedOut;
    EndDialog(dialog, 0);
}

void OnCommand(HWND dialog, MainWindow& window, DialogCommand command) {
    if (!command.Chosen()) return;
    switch (command.control) {
        case IDC_MAIN_BUTTON:
            OnMainButton(dialog, window);
            break;
        case IDC_LOGOUT_BUTTON:
            Logout(dialog, window);
            break;
        case IDC_SETTINGS_BUTTON:
            if (!window.worker.Running()) RunSettingsDialog(window.instance, dialog);
            break;
    }
}

INT_PTR CALLBACK MainWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    MainWindow* window = DialogData<MainWindow>(dialog, message, lParam);
    if (window == nullptr) return FALSE;
    switch (message) {
        case WM_INITDIALOG:
            OnOpen(dialog, *window);
            return TRUE;
        case WM_ERASEBKGND:
            PaintBackground(dialog, *window, reinterpret_cast<HDC>(wParam));
            return Answer(dialog, TRUE);
        case WM_SIZE:
            // The art is drawn for the size: all of it changes, not only the new edges.
            InvalidateRect(dialog, nullptr, TRUE);
            return FALSE;
        case WM_CTLCOLORSTATIC: {
            // One of the messages whose answer is the return value itself.
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(255, 255, 255));
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
        }
        case WM_COMMAND:
            OnCommand(dialog, *window, DecodeCommand(wParam));
            return TRUE;
        case WM_UPDATE_WORKER_DONE:
            OnWorkerDone(dialog, *window);
            return TRUE;
        case WM_CLOSE:
            OnClose(dialog, *window);
            return TRUE;
    }
    return FALSE;
}

}  // namespace

MainWindowEnd RunMainWindow(HINSTANCE instance, const InstallLayout& layout, const Session& session,
                            const WorkerStart& beforeWork) {
    MainWindow window{instance, layout, session, beforeWork};
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN_WINDOW), nullptr, MainWindowProc,
                    reinterpret_cast<LPARAM>(&window));
    // Normally the worker has ended already; if not, it is waited for here, before the
    // sink it reports to goes.
    if (window.worker.Running()) window.worker.Finish();
    SetStatusSink(nullptr);
    return window.end;
}
