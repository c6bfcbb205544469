"""Every window at 100%, 150% and 200% display scale (wine's LogPixels), on a screen
large enough for the largest: nothing leaves its window, overlaps or is cut off, the
main window's background fills it, and every control has a name and a key of its own.
Screenshots of each window at each scale are kept."""
import subprocess

import pytest

from conftest import MAIN_WINDOW
from dialog_tables import check_fit, check_keyboard
from harness.display import XvfbDisplay, screenshot
from harness.launcher import LauncherInstall
from harness.ui import Ui
from harness.wine import WinePrefix

SCALES = {96: 100, 144: 150, 192: 200}
FONT_KEYS = (r"HKCU\Control Panel\Desktop",
             r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts")


@pytest.fixture(scope="module")
def large_display():
    display = XvfbDisplay(2560, 1600)
    yield display
    display.stop()


@pytest.fixture(scope="module")
def scaled_prefix(run_dir, large_display, build, certs):
    prefix = WinePrefix(run_dir / "wineprefix-scaled", large_display.name, build.target).create()
    prefix.trust_ca(build.helper("trust_ca.exe"), certs.ca_der)
    yield prefix
    prefix.shutdown()


def set_scale(prefix, dpi):
    for key in FONT_KEYS:
        prefix.run(["reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"])


def pixel(path, x, y):
    out = subprocess.run(["convert", str(path), "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:"],
                         check=True, capture_output=True, text=True).stdout
    rgb = out.splitlines()[1].split("(")[1].split(")")[0]
    return tuple(int(float(v)) for v in rgb.split(",")[:3])


def shoot(display, layout, path):
    """A screenshot of one window: its client area and the caption above it."""
    full = screenshot(display.name, path.with_suffix(".full.png"))
    (w, h), (x, y), caption = layout.client_size, layout.client_origin, layout.dpi * 24 // 96
    subprocess.run(["convert", str(full), "-crop", f"{w + 8}x{h + caption + 8}+{x - 4}+{y - caption - 4}",
                    "+repage", str(path)], check=True)
    return full


def assert_background_fills(layout, screenshot_path):
    (w, h), (x, y) = layout.client_size, layout.client_origin
    for fx, fy in ((0.98, 0.2), (0.5, 0.98), (0.02, 0.2)):
        r, g, b = pixel(screenshot_path, x + int(w * fx), y + int(h * fy))
        assert r + g + b > 12, f"the background is drawn out to ({fx}, {fy})"


@pytest.mark.parametrize("dpi", SCALES, ids=lambda dpi: f"{SCALES[dpi]}%")
def test_every_window_fits_at_every_scale(dpi, scaled_prefix, large_display, build, release, account,
                                          artifacts, tmp_path):
    set_scale(scaled_prefix, dpi)
    ui = Ui(scaled_prefix, build.helper("ui_driver.exe"))
    release.launcher_version("1.0.1")
    release.catalogue("1.0")
    release.servers(("Alpha", "10.0.0.1:7777"), ("Bravo", "10.0.0.2:7777"))
    account.add_user("Pilot", "hunter2", "KEY-pilot-0001")
    install = LauncherInstall(tmp_path / "install", build, scaled_prefix)
    install.mark_installed("1.0")
    release.sign()
    install.start()
    scale = SCALES[dpi]
    problems = {}
    try:
        ui.wait("Login")
        login = ui.layout("Login")
        assert login.dpi == dpi
        shoot(large_display, login, artifacts / f"login-{scale}.png")
        problems["Login"] = check_fit(login) + check_keyboard(login)
        ui.type("Login", 1015, "Pilot")
        ui.type("Login", 1018, "hunter2")
        ui.click("Login", 1017)

        ui.wait_for_enabled(MAIN_WINDOW, 1011, "&Play", timeout=60)
        main = ui.layout(MAIN_WINDOW)
        full = shoot(large_display, main, artifacts / f"main-window-{scale}.png")
        problems[MAIN_WINDOW] = check_fit(main) + check_keyboard(main)
        assert_background_fills(main, full)
        if dpi == 96:
            # A move to a monitor of another scale resizes the window: the art follows.
            (w, h) = main.client_size
            ui.resize(MAIN_WINDOW, w * 3 // 2, h * 3 // 2)
            grown = ui.layout(MAIN_WINDOW)
            assert grown.client_size[0] > w * 4 // 3
            assert_background_fills(grown, shoot(large_display, grown, artifacts / "main-window-grown.png"))
            ui.resize(MAIN_WINDOW, w, h)

        ui.click(MAIN_WINDOW, 1019)
        ui.wait("Settings")
        settings = ui.layout("Settings")
        shoot(large_display, settings, artifacts / f"settings-{scale}.png")
        problems["Settings"] = check_fit(settings) + check_keyboard(settings)
        ui.click("Settings", 2)
        ui.wait_gone("Settings")
        ui.close(MAIN_WINDOW)
        assert install.wait_exit() == 0
    finally:
        install.kill()
    assert {window: found for window, found in problems.items() if found} == {}
