"""Game files that another program holds during an update, and the game itself still
running when the player asks for one."""
import time

from conftest import MAIN_WINDOW
from harness import sample_game
from test_update import BUTTON, expected_game, preinstall, wait_for_button

FILE_IN_USE = "File In Use"
CLOSE_GAME = "Close the Game"
IDCANCEL, IDRETRY = 2, 4


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def hold(prefix, build, path, seconds, tmp_path):
    """Starts file_holder.exe on path and returns its process once it holds the file."""
    log = tmp_path / "holder.log"
    with open(log, "wb") as out:
        process = prefix.start([build.helper("file_holder.exe"), windows_path(path), seconds], log=out)
    deadline = time.monotonic() + 30
    while b"holding" not in log.read_bytes():
        assert process.poll() is None and time.monotonic() < deadline, log.read_bytes()
        time.sleep(0.1)
    return process


def installed_update(install, published, build, tmp_path):
    published("1.0")
    preinstall(install, build, "1.0", tmp_path)
    published("1.1")


def test_a_file_held_for_a_moment_is_waited_for(signed_in, install, published, build, prefix, ui,
                                                tmp_path):
    installed_update(install, published, build, tmp_path)
    signed_in()
    holder = hold(prefix, build, install.game_dir / "main.mix", 2, tmp_path)
    ui.click(MAIN_WINDOW, BUTTON)
    wait_for_button(ui, "&Play")
    assert not ui.exists(FILE_IN_USE)
    holder.wait(timeout=30)
    assert sample_game.game_files(install.game_dir) == expected_game(build, "1.1", tmp_path)


def test_a_file_held_longer_is_named_as_in_use_and_the_next_update_completes(
        signed_in, install, published, build, prefix, ui, shot, tmp_path):
    installed_update(install, published, build, tmp_path)
    signed_in()
    holder = hold(prefix, build, install.game_dir / "main.mix", 15, tmp_path)
    ui.click(MAIN_WINDOW, BUTTON)
    body = ui.message_box(FILE_IN_USE, timeout_ms=30000)
    shot("file-in-use")
    # wine's Restart Manager names no holder; Windows' names the program.
    assert "main.mix is in use by another program" in body, body
    assert "validat" not in body.lower(), body
    ui.press(FILE_IN_USE)
    ui.wait_gone(FILE_IN_USE)
    wait_for_button(ui, "&Update")
    assert holder.poll() is None, "the launcher gave up while the file was still held"

    holder.wait(timeout=30)
    ui.click(MAIN_WINDOW, BUTTON)
    wait_for_button(ui, "&Play")
    assert sample_game.game_files(install.game_dir) == expected_game(build, "1.1", tmp_path)


def test_the_game_still_running_is_to_be_closed_before_an_update(
        signed_in, install, published, build, prefix, ui, shot, tmp_path):
    installed_update(install, published, build, tmp_path)
    game = prefix.start([install.game_dir / "game.exe", "--stay", 12], cwd=install.game_dir)
    signed_in()
    ui.click(MAIN_WINDOW, BUTTON)
    body = ui.message_box(CLOSE_GAME)
    shot("close-the-game")
    assert "game.exe" in body, body
    ui.press(CLOSE_GAME, IDCANCEL)
    ui.wait_gone(CLOSE_GAME)
    assert ui.text(MAIN_WINDOW, BUTTON) == "&Update" and ui.enabled(MAIN_WINDOW, BUTTON)
    assert (install.directory / "version.xml").read_text() == '<Version Current="1.0"/>', \
        "nothing was touched"

    ui.click(MAIN_WINDOW, BUTTON)
    ui.message_box(CLOSE_GAME)
    game.wait(timeout=30)
    ui.press(CLOSE_GAME, IDRETRY)
    wait_for_button(ui, "&Play")
    assert sample_game.game_files(install.game_dir) == expected_game(build, "1.1", tmp_path)
