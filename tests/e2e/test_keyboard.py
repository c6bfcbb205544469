"""The launcher with the keyboard alone: sign in, install, Settings, a server and Play,
each reached by Tab, an access key, Enter or Escape as a player without a mouse does."""
from conftest import MAIN_WINDOW
from test_main_window import wait_for_lines
from test_settings import LAUNCHER_KEY, SOUND_KEY, client, documents, dword, registry_values  # noqa: F401
from test_update import BUTTON, wait_for_button

SETTINGS, LOGIN = "Settings", "Login"
SERVER_LIST, MASTER_ENABLED, SOUND_ENABLED, DOWNLOAD_LIMIT = 1013, 1032, 1025, 1034


def test_sign_in_install_settings_and_play_with_keys_only(client, install, account, published, ui,
                                                          prefix, shot):
    published("1.0")
    account.add_user("Pilot", "hunter2", "KEY-pilot-0001")
    install.start()
    ui.wait(LOGIN)
    assert ui.focus(LOGIN) == 1015, "typing starts in the user name"
    ui.keys(LOGIN, "text:Pilot", "tab", "text:hunter2", "enter")

    wait_for_button(ui, "&Install")
    assert ui.focus(MAIN_WINDOW) == BUTTON
    ui.keys(MAIN_WINDOW, "enter")
    wait_for_button(ui, "&Play")
    assert ui.focus(MAIN_WINDOW) == BUTTON, "the focus is back on the main button"

    # Escape leaves Settings without storing what changed.
    ui.keys(MAIN_WINDOW, "alt+s")
    ui.wait(SETTINGS)
    assert ui.focus(SETTINGS) == MASTER_ENABLED, "the first control of the first group"
    ui.keys(SETTINGS, "alt+m", "esc")
    ui.wait_gone(SETTINGS)
    assert registry_values(prefix, SOUND_KEY) == {}

    ui.keys(MAIN_WINDOW, "alt+s")
    ui.wait(SETTINGS)
    ui.keys(SETTINGS, "alt+o", "tab", "home", "alt+l", "text:300")
    assert not ui.checked(SETTINGS, SOUND_ENABLED)
    shot("settings-by-keys")
    ui.keys(SETTINGS, "enter")
    ui.wait_gone(SETTINGS)
    sound = registry_values(prefix, SOUND_KEY)
    assert sound["sound enabled"] == dword(0) and sound["sound volume"] == dword(0)
    assert sound["master enabled"] == dword(1)
    assert registry_values(prefix, LAUNCHER_KEY) == {"DownloadLimit": dword(300)}

    ui.keys(MAIN_WINDOW, "alt+v", "down")
    assert ui.focus(MAIN_WINDOW) == SERVER_LIST
    assert ui.combo_selection(MAIN_WINDOW, SERVER_LIST) == 0
    ui.keys(MAIN_WINDOW, "enter")
    lines = wait_for_lines(install, 2)
    shot("playing")
    assert lines[0] == "cmdline= +connect 10.0.0.1:7777 +netplayername Pilot +userkey KEY-pilot-0001"


def test_escape_in_the_login_dialog_ends_the_launcher_quietly(install, ui, server):
    install.start()
    ui.wait(LOGIN)
    ui.keys(LOGIN, "text:Pilot", "esc")
    assert install.wait_exit() == 0
    assert server.requests() == [] and not install.config_txt.exists()
