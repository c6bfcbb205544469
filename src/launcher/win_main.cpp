#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "account/login_dialog.h"
#include "launcher/launcher_state.h"
#include "launcher/main_window.h"
#include "launcher/user_key_file.h"
#include "launcher/window_handles.h"
#include "platform/folders.h"
#include "platform/path.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    Handles().moduleInstance = instance;
    // msvcrt stops at 2048 and refuses 8192; archives share one handle per file, so the
    // lower limit is enough.
    _setmaxstdio(8192);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    const std::string keyPath = JoinPath(InstallDirectory(), kUserKeyFileName);
    if (auto key = ReadUserKeyFile(keyPath)) {
        Launcher().userKey = *key;
    } else if (RunLoginDialog() == kLoginClosed) {
        return 0;
    }
    return static_cast<int>(RunMainWindow());
}
