#include "launcher/main_window.h"

#include <objbase.h>
#include <process.h>

#include <cstdio>
#include <string>

#include "launcher/game_launch.h"
#include "launcher/launcher_state.h"
#include "launcher/opening.h"
#include "launcher/user_key_file.h"
#include "launcher/window_handles.h"
#include "platform/file_system.h"
#include "platform/folders.h"
#include "platform/path.h"
#include "platform/status_sink.h"
#include "platform/win32/center_window.h"
#include "resource_ids.h"
#include "settings/settings_dialog.h"
#include "update/signed_release.h"
#include "update/update_flow.h"

namespace {

void SetMainButton(HWND dialog, ActionCode action, const char* caption) {
    SetDlgItemTextA(dialog, IDC_MAIN_BUTTON, caption);
    Launcher().actionCode = action;
}

void FillServerList(HWND dialog) {
    const auto servers = LoadServerList(InstallDirectory());
    if (!servers) {
        Status().SetStatusText("Could not load the server list");
        return;
    }
    HWND list = GetDlgItem(dialog, IDC_SERVER_LIST);
    auto& addresses = Launcher().serverAddresses;
    for (const GameServer& server : *servers) {
        const LRESULT entry =
            SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(server.name.c_str()));
        if (entry < 0) continue;
        SendMessageA(list, CB_SETITEMDATA, entry, static_cast<LPARAM>(addresses.size()));
        addresses.push_back(server.address);
    }
}

void ShowServerList(HWND dialog) {
    ShowWindow(GetDlgItem(dialog, IDC_SERVER_LIST_LABEL), SW_SHOW);
    ShowWindow(GetDlgItem(dialog, IDC_SERVER_LIST), SW_SHOW);
}

// Everything after the labels: the launcher's own version, then the game's state.
void DecideMainButton(HWND dialog) {
    const std::string installDirectory = InstallDirectory();
    const LauncherVersionStatus launcher = TestLauncherVersion(installDirectory);
    if (launcher == LauncherVersionStatus::kOutOfDate) {
        SetMainButton(dialog, kActionUpdateLauncher, "&Update Launcher");
        return;
    }
    std::string refusal;
    switch (DecideGameState(installDirectory, &refusal)) {
        case GameState::kNeedsInstall:
            SetMainButton(dialog, kActionInstall, "&Install");
            break;
        case GameState::kNeedsUpdate:
            SetMainButton(dialog, kActionUpdate, "&Update");
            break;
        case GameState::kCurrent:
            ShowServerList(dialog);
            FillServerList(dialog);
            SetMainButton(dialog, kActionPlay, "&Play");
            break;
        case GameState::kCatalogueUnreadable:
            MessageBoxA(nullptr, "Update Check Failed",
                        "Could not read the version catalogue. Press Retry to try again.",
                        MB_ICONERROR | MB_OK);
            SetMainButton(dialog, kActionRetry, "&Retry");
            break;
        case GameState::kCatalogueRefused:
            MessageBoxA(nullptr, refusal.c_str(), kVerificationCaption, MB_ICONERROR | MB_OK);
            SetMainButton(dialog, kActionRetry, "&Retry");
            break;
    }
    if (launcher == LauncherVersionStatus::kUnknown) {
        Status().SetStatusText("Could not check for launcher updates");
    }
}

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
    DecideMainButton(dialog);
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

void Play(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_SERVER_LIST);
    const LRESULT selected = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) return;
    const auto& addresses = Launcher().serverAddresses;
    const auto index = static_cast<size_t>(SendMessageA(list, CB_GETITEMDATA, selected, 0));
    const std::string address = index < addresses.size() ? addresses[index] : std::string();
    StartGame(InstallDirectory(),
              GameCommandLine(address, Launcher().userName, Launcher().userKey));
}

// The update worker: installs, updates or replaces the launcher, then tells the main
// window (success), the player (failure, and the button stays disabled) or ends the
// process (a new launcher has started).
unsigned __stdcall UpdateWorker(void*) {
    // The URL moniker is COM: each thread that downloads joins an apartment first.
    const HRESULT com = CoInitialize(nullptr);
    const UpdateOutcome outcome = RunUpdate(Launcher().actionCode, InstallDirectory());
    switch (outcome.next) {
        case UpdateOutcome::Next::kNotifyWindow:
            SendMessageA(Handles().mainWindow, WM_APP, 0, 0);
            break;
        case UpdateOutcome::Next::kShowMessage:
            MessageBoxA(nullptr, outcome.text.c_str(), outcome.caption.c_str(),
                        MB_ICONERROR | MB_OK);
            break;
        case UpdateOutcome::Next::kExitProcess:
            ExitProcess(0);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

void StartUpdateWorker(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, IDC_MAIN_BUTTON), FALSE);
    const uintptr_t thread = _beginthreadex(nullptr, 0, UpdateWorker, nullptr, 0, nullptr);
    if (thread != 0) CloseHandle(reinterpret_cast<HANDLE>(thread));  // never waited on
}

void OnMainButton(HWND dialog) {
    switch (Launcher().actionCode) {
        case kActionPlay:
            Play(dialog);
            break;
        case kActionRetry:
            DecideMainButton(dialog);
            break;
        default:
            StartUpdateWorker(dialog);
            break;
    }
}

void OnWorkerCompleted(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, IDC_MAIN_BUTTON), TRUE);
    ShowServerList(dialog);
    FillServerList(dialog);
    SetMainButton(dialog, kActionPlay, "&Play");
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
            switch (wParam) {
                case IDC_MAIN_BUTTON:
                    OnMainButton(dialog);
                    break;
                case IDC_LOGOUT_BUTTON:
                    Logout(dialog);
                    break;
                case IDC_SETTINGS_BUTTON:
                    RunSettingsDialog();
                    break;
            }
            return FALSE;
        case WM_APP:
            if (wParam == 0 && lParam == 0) OnWorkerCompleted(dialog);
            return TRUE;
        case WM_CLOSE:
            EndDialog(dialog, 0);
            return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR RunMainWindow() {
    return DialogBoxParamA(Handles().moduleInstance, MAKEINTRESOURCEA(IDD_MAIN_WINDOW), nullptr,
                           MainWindowProc, 0);
}
