"""Installations in odd places: a folder whose full path passes 260 characters, and one
under a user profile whose name is not ASCII. Each installs, validates and is repaired
after a file goes missing; the second also starts the game (wine starts no program whose
path passes 260 characters, however it is named: Windows takes the short name the
launcher gives it)."""
import pytest

from conftest import MAIN_WINDOW
from harness import sample_game
from harness.launcher import LauncherInstall
from test_main_window import wait_for_lines
from test_update import BUTTON, SERVER_LIST, expected_game, wait_for_button


def odd_place(tmp_path, kind):
    if kind == "non-ASCII":
        return tmp_path / "users" / "Zoë Ærøskøbing 山田" / "Games" / "Kestrava"
    folder = tmp_path / "Games"
    while len(LauncherInstall.windows_path_of(folder)) < 300:
        folder = folder / ("Kestrava Launcher " * 4).strip()
    return folder


@pytest.mark.parametrize("kind", ["long", "non-ASCII"])
def test_an_install_in_an_odd_place_installs_validates_repairs_and_plays(
        kind, build, prefix, release, account, published, ui, shot, tmp_path):
    published("1.0")
    account.add_user("Pilot", "hunter2", "KEY-pilot-0001")
    install = LauncherInstall(odd_place(tmp_path, kind), build, prefix)
    install.config_txt.write_bytes(b"KEY-pilot-0001")
    if kind == "long":
        assert len(install.windows_path()) >= 300
    try:
        release.sign()
        install.start()
        wait_for_button(ui, "&Install")
        ui.click(MAIN_WINDOW, BUTTON)
        wait_for_button(ui, "&Play")
        expected = expected_game(build, "1.0", tmp_path)
        assert sample_game.game_files(install.game_dir) == expected

        (install.game_dir / "data" / "readme.txt").unlink()
        ui.close(MAIN_WINDOW)
        assert install.wait_exit() == 0
        install.start()
        wait_for_button(ui, "&Update")
        ui.click(MAIN_WINDOW, BUTTON)
        wait_for_button(ui, "&Play")
        assert sample_game.game_files(install.game_dir) == expected
        if kind == "long":
            return

        ui.select_combo(MAIN_WINDOW, SERVER_LIST, 0)
        ui.click(MAIN_WINDOW, BUTTON)
        lines = wait_for_lines(install, 2)
        shot("playing")
        assert lines == ["cmdline= +connect 10.0.0.1:7777 +netplayername Pilot +userkey KEY-pilot-0001",
                         f"cwd={install.windows_path('game')}"]
    except BaseException:
        shot("failure")
        raise
    finally:
        install.kill()
