#include "settings/settings_dialog.h"

#include <commctrl.h>

#include <string>

#include "platform/folders.h"
#include "platform/win32/center_window.h"
#include "platform/win32/dialog.h"
#include "platform/win32/direct3d_display_modes.h"
#include "platform/win32/registry_client_store.h"
#include "resource_ids.h"
#include "settings/engine_config.h"
#include "settings/settings_form.h"

namespace {

struct ChannelControls {
    int slider;
    int checkBox;
};

// Same order as kAudioChannels.
constexpr ChannelControls kChannelControls[kAudioChannelCount] = {
    {IDC_MASTER_VOLUME, IDC_MASTER_ENABLED},       {IDC_SOUND_VOLUME, IDC_SOUND_ENABLED},
    {IDC_DIALOG_VOLUME, IDC_DIALOG_ENABLED},       {IDC_MUSIC_VOLUME, IDC_MUSIC_ENABLED},
    {IDC_CINEMATIC_VOLUME, IDC_CINEMATIC_ENABLED},
};

std::string EngineConfigFile() { return EngineConfigPath(DocumentsDirectory()); }

void ShowForm(HWND dialog, const SettingsForm& form) {
    for (int channel = 0; channel < kAudioChannelCount; ++channel) {
        const int slider = kChannelControls[channel].slider;
        SendDlgItemMessageA(dialog, slider, TBM_SETRANGEMAX, TRUE, 100);
        SendDlgItemMessageA(dialog, slider, TBM_SETPOS, TRUE, form.volumes[channel]);
        if (form.enabled[channel])
            CheckDlgButton(dialog, kChannelControls[channel].checkBox, BST_CHECKED);
    }
    if (form.showFps) CheckDlgButton(dialog, IDC_SHOW_FPS, BST_CHECKED);

    for (const Resolution& resolution : form.resolutions) {
        SendDlgItemMessageA(dialog, IDC_RESOLUTION, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(ResolutionText(resolution).c_str()));
    }
    SendDlgItemMessageA(dialog, IDC_RESOLUTION, CB_SETCURSEL, form.resolution, 0);
    for (const char* mode : kWindowModes) {
        SendDlgItemMessageA(dialog, IDC_WINDOW_MODE, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(mode));
    }
    SendDlgItemMessageA(dialog, IDC_WINDOW_MODE, CB_SETCURSEL, form.windowMode, 0);
    // Seven digits hold every limit there is; the parse refuses what typing could not.
    SendDlgItemMessageA(dialog, IDC_DOWNLOAD_LIMIT, EM_LIMITTEXT, 7, 0);
    SetDlgItemTextA(dialog, IDC_DOWNLOAD_LIMIT, DownloadLimitText(form.downloadLimit).c_str());
}

std::string ItemText(HWND dialog, int control) {
    char text[32] = {};
    GetDlgItemTextA(dialog, control, text, sizeof text);
    return text;
}

// False, with the field marked, when its text is no limit (pasted text passes ES_NUMBER).
bool TakeDownloadLimit(HWND dialog, SettingsForm& form) {
    const auto limit = ParseDownloadLimit(ItemText(dialog, IDC_DOWNLOAD_LIMIT));
    if (limit) {
        form.downloadLimit = *limit;
        return true;
    }
    const std::string text = "Enter the download limit in KB/s as a whole number up to " +
                             std::to_string(kMaxDownloadLimit) + ", or leave it empty for none.";
    MessageBoxA(dialog, text.c_str(), "Download Limit", MB_ICONWARNING | MB_OK);
    HWND field = GetDlgItem(dialog, IDC_DOWNLOAD_LIMIT);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
    return false;
}

void TakeForm(HWND dialog, SettingsForm& form) {
    for (int channel = 0; channel < kAudioChannelCount; ++channel) {
        form.volumes[channel] = static_cast<std::int32_t>(
            SendDlgItemMessageA(dialog, kChannelControls[channel].slider, TBM_GETPOS, 0, 0));
        form.enabled[channel] =
            IsDlgButtonChecked(dialog, kChannelControls[channel].checkBox) == BST_CHECKED;
    }
    form.showFps = IsDlgButtonChecked(dialog, IDC_SHOW_FPS) == BST_CHECKED;
    form.resolution =
        static_cast<int>(SendDlgItemMessageA(dialog, IDC_RESOLUTION, CB_GETCURSEL, 0, 0));
    form.windowMode =
        static_cast<int>(SendDlgItemMessageA(dialog, IDC_WINDOW_MODE, CB_GETCURSEL, 0, 0));
}

// The form lives from the dialog's opening to its end: the resolution box's entries
// stand for its sizes.
void Open(HWND dialog, SettingsForm& form) {
    CenterWindow(dialog);
    RegistryClientStore registry;
    // The Direct3D object lives only while the modes are read.
    Direct3DDisplayModes modes;
    form = OpenSettingsForm(registry, modes, EngineConfigFile());
    ShowForm(dialog, form);
}

// Nothing is stored while a field is refused: the dialog stays open.
bool Confirm(HWND dialog, SettingsForm& form) {
    if (!TakeDownloadLimit(dialog, form)) return false;
    TakeForm(dialog, form);
    RegistryClientStore registry;
    ConfirmSettingsForm(form, registry, EngineConfigFile());
    return true;
}

void OnCommand(HWND dialog, SettingsForm& form, DialogCommand command) {
    if (!command.Chosen()) return;
    if (command.control == IDOK) {
        if (Confirm(dialog, form)) EndDialog(dialog, IDOK);
    } else if (command.control == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
    }
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    SettingsForm* form = DialogData<SettingsForm>(dialog, message, lParam);
    if (form == nullptr) return FALSE;
    switch (message) {
        case WM_INITDIALOG:
            Open(dialog, *form);
            return TRUE;
        case WM_COMMAND:
            OnCommand(dialog, *form, DecodeCommand(wParam));
            return TRUE;
    }
    return FALSE;
}

}  // namespace

void RunSettingsDialog(HINSTANCE instance, HWND owner) {
    SettingsForm form;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETTINGS), owner, SettingsDialogProc,
                    reinterpret_cast<LPARAM>(&form));
}
