"""The main window's opening decisions, its failures, the server list and "&Play"."""
import time

import pytest

from conftest import MAIN_WINDOW

CATALOGUE_FAILED = "Update Check Failed"
BUTTON, STATUS, SERVER_LIST, SERVER_LABEL = 1011, 1012, 1013, 1014


def current_game(release, install, *servers, game=False):
    """A launcher and a game that are both current, with these servers published."""
    release.launcher_version("1.0.1")
    release.catalogue("1.4")
    if servers:
        release.servers(*servers)
    install.mark_installed("1.4")
    if game:
        install.add_stand_in("game/game.exe", "game.exe")


def state(ui):
    return (ui.text(MAIN_WINDOW, BUTTON), ui.visible(MAIN_WINDOW, SERVER_LIST),
            ui.visible(MAIN_WINDOW, SERVER_LABEL))


def test_fresh_directory_offers_install(signed_in, release, ui, server, shot):
    release.launcher_version("1.0.1")
    signed_in()
    shot("install")
    assert state(ui) == ("&Install", False, False)
    assert ui.text(MAIN_WINDOW, STATUS) == "Finished downloading File launcher.xml"
    assert [r.path for r in server.requests()] == ["/update/launcher.xml.sig", "/update/launcher.xml"]


def test_game_folder_without_version_xml_offers_install(signed_in, install, release, ui):
    release.launcher_version("1.0.1")
    install.game_dir.mkdir()
    signed_in()
    assert state(ui) == ("&Install", False, False)


def test_current_game_offers_play_with_the_sorted_server_list(signed_in, install, release, ui, shot):
    current_game(release, install, ("Zeta", "10.0.0.9:7777"), ("Alpha", "10.0.0.1:7777"), ("Mid", "10.0.0.5"))
    signed_in()
    shot("play")
    assert state(ui) == ("&Play", True, True)
    assert ui.combo_items(MAIN_WINDOW, SERVER_LIST) == ["Alpha", "Mid", "Zeta"]
    assert ui.combo_selection(MAIN_WINDOW, SERVER_LIST) == -1
    assert ui.text(MAIN_WINDOW, STATUS) == "Finished downloading File servers.xml"
    assert not (install.directory / "servers.xml").exists()
    assert not (install.directory / "versions.xml").exists()


def test_versions_differing_in_case_offer_update(signed_in, install, release, ui, shot):
    release.launcher_version("1.0.1")
    release.catalogue("Beta-2")
    install.mark_installed("beta-2")
    signed_in()
    shot("update")
    assert state(ui) == ("&Update", False, False)
    assert ui.text(MAIN_WINDOW, STATUS) == "Finished downloading File versions.xml"


def test_other_launcher_version_offers_update_launcher_and_leftover_is_deleted(
        signed_in, install, release, ui, shot):
    release.launcher_version("1.0.0")
    (install.directory / "launcher.ex_").write_bytes(b"MZ old launcher")
    signed_in()
    shot("update-launcher")
    assert state(ui) == ("&Update Launcher", False, False)
    assert not (install.directory / "launcher.ex_").exists()


def test_missing_launcher_xml_goes_on_and_says_so(signed_in, install, release, ui):
    release.catalogue("1.4")
    release.servers(("Alpha", "10.0.0.1"))
    install.mark_installed("1.4")
    signed_in()
    assert state(ui) == ("&Play", True, True)
    assert ui.text(MAIN_WINDOW, STATUS) == "Could not check for launcher updates"


@pytest.mark.parametrize("fault", ["catalogue missing", "record without Current"])
def test_unreadable_catalogue_offers_retry_which_recovers(signed_in, install, release, ui, shot, fault):
    release.launcher_version("1.0.1")
    install.mark_installed("1.4")
    if fault == "record without Current":
        release.catalogue("1.4")
        (install.directory / "version.xml").write_text("<Version/>")

    signed_in(wait=False)  # the box comes up while the window opens, before it shows
    assert ui.message_box(CATALOGUE_FAILED) == \
        "Could not read the version catalogue. Press Retry to try again."
    assert ui.owner(CATALOGUE_FAILED) == ""
    shot("update-check-failed")
    ui.press(CATALOGUE_FAILED)
    ui.wait(MAIN_WINDOW)
    assert state(ui) == ("&Retry", False, False)

    release.catalogue("1.5")
    install.mark_installed("1.4")
    ui.click(MAIN_WINDOW, BUTTON)
    ui.wait_for_enabled(MAIN_WINDOW, BUTTON, "&Update", timeout=30)  # the check runs on a worker
    assert not ui.exists(CATALOGUE_FAILED)
    assert state(ui) == ("&Update", False, False)


def test_missing_server_list_leaves_the_list_empty_and_says_so(signed_in, install, release, ui):
    current_game(release, install)
    signed_in()
    assert state(ui) == ("&Play", True, True)
    assert ui.combo_items(MAIN_WINDOW, SERVER_LIST) == []
    assert ui.text(MAIN_WINDOW, STATUS) == "Could not load the server list"


def game_log(install):
    log = install.game_dir / "game.exe.log"
    return log.read_bytes().decode("utf-8").split("\r\n")[:-1] if log.exists() else []


def test_play_starts_the_game_with_the_chosen_server_name_and_key(signed_in, install, release, ui, shot):
    current_game(release, install, ("Zeta", "10.0.0.9:7777"), ("Alpha", "10.0.0.1:7777"), game=True)
    signed_in(name="Pilot One", key="KEY-p1")

    ui.click(MAIN_WINDOW, BUTTON)  # nothing chosen: nothing starts
    ui.select_combo(MAIN_WINDOW, SERVER_LIST, 0)
    assert ui.text(MAIN_WINDOW, BUTTON) == "&Play"
    ui.click(MAIN_WINDOW, BUTTON)
    lines = wait_for_lines(install, 2)
    shot("playing")
    game_dir = "Z:" + str(install.game_dir).replace("/", "\\")
    assert lines == [f"cmdline= +connect 10.0.0.1:7777 +netplayername Pilot One +userkey KEY-p1",
                     f"cwd={game_dir}"]
    assert state(ui) == ("&Play", True, True), "the launcher stays open and ready"


def test_long_command_line_arrives_whole(signed_in, install, release, ui):
    address = "play.example.net:7777/" + "x" * 300
    current_game(release, install, ("Only", address), game=True)
    signed_in(name="Pilot", key="K" * 64)
    ui.select_combo(MAIN_WINDOW, SERVER_LIST, 0)
    ui.click(MAIN_WINDOW, BUTTON)
    expected = f" +connect {address} +netplayername Pilot +userkey {'K' * 64}"
    assert len(expected) > 259
    assert wait_for_lines(install, 2)[0] == "cmdline=" + expected


def wait_for_lines(install, count, timeout=15):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        lines = game_log(install)
        if len(lines) >= count:
            return lines
        time.sleep(0.2)
    raise AssertionError(f"game.exe wrote {game_log(install)}")


def test_logout_deletes_the_key_and_exits(signed_in, install, release, ui):
    release.launcher_version("1.0.1")
    signed_in()
    ui.click(MAIN_WINDOW, 1018)
    assert install.wait_exit() == 0
    assert not install.config_txt.exists()


def test_servers_of_the_same_name_keep_their_own_addresses(signed_in, install, release, ui):
    current_game(release, install, ("Twin", "10.0.0.1"), ("Twin", "10.0.0.2"), game=True)
    signed_in(name="P", key="K")
    assert ui.combo_items(MAIN_WINDOW, SERVER_LIST) == ["Twin", "Twin"]
    for index in (0, 1):
        ui.select_combo(MAIN_WINDOW, SERVER_LIST, index)
        ui.click(MAIN_WINDOW, BUTTON)
        wait_for_lines(install, 2 * (index + 1))
    started = sorted(line for line in game_log(install) if line.startswith("cmdline="))
    assert started == ["cmdline= +connect 10.0.0.1 +netplayername P +userkey K",
                       "cmdline= +connect 10.0.0.2 +netplayername P +userkey K"]


def test_play_without_game_exe_says_which_file_and_why(signed_in, install, release, ui, shot):
    current_game(release, install, ("Alpha", "10.0.0.1"))
    signed_in()
    ui.select_combo(MAIN_WINDOW, SERVER_LIST, 0)
    ui.click(MAIN_WINDOW, BUTTON)
    body = ui.message_box("Game Not Started")
    shot("game-not-started")
    assert install.windows_path("game/game.exe") in body
    assert "not found" in body.lower(), body
    ui.press("Game Not Started")
    assert state(ui) == ("&Play", True, True)
