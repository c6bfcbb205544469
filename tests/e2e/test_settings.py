"""The Settings dialog against the prefix's registry, the player's engine.cfg and the
Xvfb screen's one display mode."""
import getpass
import re
import shutil

import pytest

from conftest import MAIN_WINDOW

SETTINGS = "Settings"
CLIENT_KEY = r"HKCU\Software\Quorl\client"
SOUND_KEY = CLIENT_KEY + r"\Sound"
DEBUG_KEY = CLIENT_KEY + r"\Networking\Debug"
LAUNCHER_KEY = r"HKCU\Software\Kestrava\Launcher"
DOWNLOAD_LIMIT = 1034

# (slider, check box, volume value, enabled value) in the dialog's order.
CHANNELS = [
    (1031, 1032, "master volume", "master enabled"),
    (1021, 1025, "sound volume", "sound enabled"),
    (1024, 1027, "dialog volume", "dialog enabled"),
    (1022, 1028, "music volume", "music enabled"),
    (1023, 1029, "cinematic volume", "cinematic enabled"),
]
SHOW_FPS, RESOLUTION, WINDOW_MODE, OK, CANCEL = 1020, 1026, 1030, 1, 2
WINDOW_MODES = ["Windowed", "Borderless", "Fullscreen"]
SCREEN_MODE = "1280 x 1024"  # the Xvfb screen's only mode


def registry_values(prefix, key):
    """{name: (type, data)} of a key as `reg query` prints it; names may hold spaces."""
    result = prefix.run(["reg", "query", key], check=False)
    values = {}
    for line in result.stdout.decode(errors="replace").splitlines():
        match = re.match(r"^\s+(.+?)\s+(REG_\w+)\s+(.*?)\s*$", line)
        if match:
            values[match.group(1)] = (match.group(2), match.group(3))
    return values


def dword(value):
    return ("REG_DWORD", f"0x{value:x}")


@pytest.fixture
def documents(prefix):
    return prefix.path / "drive_c" / "users" / getpass.getuser() / "Documents"


@pytest.fixture
def client(prefix, documents):
    """A prefix without the client's registry values or engine.cfg folder; the prefix
    lives for the whole run, so each test starts from this."""
    def clear():
        for key in (r"HKCU\Software\Quorl", LAUNCHER_KEY):
            prefix.run(["reg", "delete", key, "/f"], check=False)
        shutil.rmtree(documents / "Kestrava", ignore_errors=True)
    clear()
    yield
    clear()


@pytest.fixture
def engine_cfg(documents):
    """Path of engine.cfg, with its folders created."""
    folder = documents / "Kestrava" / "client"
    folder.mkdir(parents=True)
    return folder / "engine.cfg"


def open_settings(ui):
    ui.click(MAIN_WINDOW, 1019)
    ui.wait(SETTINGS)


def close_with(ui, button):
    ui.click(SETTINGS, button)
    ui.wait_gone(SETTINGS)


def render_text(path):
    """The "Render" group's body as written by the launcher."""
    text = path.read_text()
    match = re.search(r"Render\s*:\s*\{(.*?)\};", text, re.S)
    assert match, text
    return match.group(1)


def test_without_stored_values_everything_is_full_and_on_and_cancel_stores_nothing(
        client, signed_in, ui, prefix, documents, shot):
    signed_in()
    open_settings(ui)
    shot("defaults")
    for slider, box, _, _ in CHANNELS:
        assert ui.slider(SETTINGS, slider) == 100
        assert ui.checked(SETTINGS, box)
    assert ui.checked(SETTINGS, SHOW_FPS)
    assert ui.combo_items(SETTINGS, RESOLUTION) == [SCREEN_MODE]
    assert ui.combo_selection(SETTINGS, RESOLUTION) == -1, "800 x 600 is not offered"
    assert ui.combo_items(SETTINGS, WINDOW_MODE) == WINDOW_MODES
    assert ui.combo_selection(SETTINGS, WINDOW_MODE) == 1

    ui.set_slider(SETTINGS, 1031, 20)
    ui.set_checked(SETTINGS, 1028, False)
    ui.select_combo(SETTINGS, WINDOW_MODE, 0)
    close_with(ui, CANCEL)
    assert registry_values(prefix, SOUND_KEY) == {}
    assert registry_values(prefix, DEBUG_KEY) == {}
    assert not (documents / "Kestrava").exists()

    # An existing key without values reads the same defaults.
    prefix.run(["reg", "add", SOUND_KEY, "/f"])
    open_settings(ui)
    assert [ui.slider(SETTINGS, slider) for slider, _, _, _ in CHANNELS] == [100] * 5
    assert all(ui.checked(SETTINGS, box) for _, box, _, _ in CHANNELS)
    close_with(ui, CANCEL)


def test_ok_stores_dwords_and_rewrites_engine_cfg(client, signed_in, ui, prefix, engine_cfg, shot):
    engine_cfg.write_text(
        "Audio:\n{\n  Device = \"Speakers\";\n};\n"
        "Render:\n{\n  Width = 1280;\n  Height = 1024;\n  ExclusiveFullscreen = true;\n"
        "  RefreshRate = 60;\n  Gamma = 2.2;\n};\n")
    signed_in()
    open_settings(ui)
    assert ui.combo_selection(SETTINGS, RESOLUTION) == 0
    assert ui.combo_selection(SETTINGS, WINDOW_MODE) == 1, "ExclusiveFullscreen true"

    volumes = [37, 0, 55, 100, 5]
    switched_off = {1025, 1028}
    for (slider, box, _, _), volume in zip(CHANNELS, volumes):
        ui.set_slider(SETTINGS, slider, volume)
        ui.set_checked(SETTINGS, box, box not in switched_off)
    ui.set_checked(SETTINGS, SHOW_FPS, False)
    ui.select_combo(SETTINGS, WINDOW_MODE, 2)
    shot("changed")
    close_with(ui, OK)

    sound = registry_values(prefix, SOUND_KEY)
    for (slider, box, volume_name, enabled_name), volume in zip(CHANNELS, volumes):
        assert sound[volume_name] == dword(volume)
        assert sound[enabled_name] == dword(0 if box in switched_off else 1)
    assert registry_values(prefix, DEBUG_KEY) == {"ShowFps": dword(0)}

    text = engine_cfg.read_text()
    render = render_text(engine_cfg)
    assert re.search(r"\bWidth = 1280;", render) and re.search(r"\bHeight = 1024;", render)
    assert re.search(r"\bFullscreenMode = 2;", render)
    assert "ExclusiveFullscreen" not in render
    assert re.search(r"\bRefreshRate = 60;", render), "an int RefreshRate is left alone"
    assert re.search(r"\bGamma = 2\.2", render)
    assert re.search(r"\bMaxFPS = 200;", render) and re.search(r"\bDisableVSync = false;", render)
    assert re.search(r'Audio\s*:\s*\{\s*Device = "Speakers";', text)
    assert not engine_cfg.with_name("engine.cfg.tmp").exists()

    # Reopened, the dialog shows what OK stored.
    open_settings(ui)
    assert [ui.slider(SETTINGS, slider) for slider, _, _, _ in CHANNELS] == volumes
    assert [ui.checked(SETTINGS, box) for _, box, _, _ in CHANNELS] == \
        [box not in switched_off for _, box, _, _ in CHANNELS]
    assert not ui.checked(SETTINGS, SHOW_FPS)
    assert ui.combo_selection(SETTINGS, WINDOW_MODE) == 2
    close_with(ui, CANCEL)


def test_unknown_window_mode_selects_nothing_and_ok_stores_windowed(
        client, signed_in, ui, engine_cfg):
    engine_cfg.write_text("Render:\n{\n  Width = 1600;\n  Height = 900;\n  FullscreenMode = 5;\n};\n")
    signed_in()
    open_settings(ui)
    assert ui.combo_selection(SETTINGS, WINDOW_MODE) == -1
    assert ui.combo_selection(SETTINGS, RESOLUTION) == -1, "1600 x 900 is not offered"
    close_with(ui, OK)

    render = render_text(engine_cfg)
    assert re.search(r"\bFullscreenMode = 0;", render)
    assert re.search(r"\bWidth = 1280;", render) and re.search(r"\bHeight = 1024;", render), \
        "the first listed resolution"


def test_stored_values_of_other_sizes_and_a_missing_engine_cfg_folder(
        client, signed_in, ui, prefix, documents):
    prefix.run(["reg", "add", SOUND_KEY, "/v", "sound volume", "/t", "REG_DWORD", "/d", "0", "/f"])
    # One byte: it fills the low byte of the value.
    prefix.run(["reg", "add", SOUND_KEY, "/v", "music volume", "/t", "REG_BINARY", "/d", "19", "/f"])
    prefix.run(["reg", "add", DEBUG_KEY, "/v", "ShowFps", "/t", "REG_DWORD", "/d", "0", "/f"])
    signed_in()
    open_settings(ui)
    assert ui.slider(SETTINGS, 1021) == 0, "a stored 0 is not the default"
    assert ui.slider(SETTINGS, 1022) == 0x19
    assert not ui.checked(SETTINGS, SHOW_FPS)
    close_with(ui, OK)

    sound = registry_values(prefix, SOUND_KEY)
    assert sound["music volume"] == dword(0x19), "rewritten as a DWORD"
    assert sound["master volume"] == dword(100)
    assert not (documents / "Kestrava").exists(), "the folders are never created"
    ui.wait(MAIN_WINDOW)


def test_download_limit_is_the_launchers_own_value_and_only_a_number_is_stored(
        client, signed_in, ui, prefix, shot):
    signed_in()
    open_settings(ui)
    assert ui.text(SETTINGS, DOWNLOAD_LIMIT) == "", "no limit"

    # A pasted text passes the field's digits-only typing.
    ui.type(SETTINGS, DOWNLOAD_LIMIT, "2k")
    ui.click(SETTINGS, OK)
    body = ui.message_box("Download Limit")
    shot("download-limit-refused")
    assert "whole number" in body, body
    ui.press("Download Limit")
    ui.wait_gone("Download Limit")
    assert ui.exists(SETTINGS), "the dialog stays open"
    assert ui.focus(SETTINGS) == DOWNLOAD_LIMIT
    assert registry_values(prefix, SOUND_KEY) == {}, "nothing is stored"

    ui.type(SETTINGS, DOWNLOAD_LIMIT, "250")
    shot("download-limit")
    close_with(ui, OK)
    assert registry_values(prefix, LAUNCHER_KEY) == {"DownloadLimit": dword(250)}
    assert "DownloadLimit" not in registry_values(prefix, CLIENT_KEY)

    open_settings(ui)
    assert ui.text(SETTINGS, DOWNLOAD_LIMIT) == "250"
    ui.type(SETTINGS, DOWNLOAD_LIMIT, "")
    close_with(ui, OK)
    assert registry_values(prefix, LAUNCHER_KEY) == {"DownloadLimit": dword(0)}
