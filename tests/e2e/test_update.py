"""Install, update and self-update in the real launcher, against releases published with
the operator's own tool."""
import shutil
import threading
import time
import zipfile

import pytest

from conftest import MAIN_WINDOW
from harness import sample_game

BUTTON, STATUS, SERVER_LIST = 1011, 1012, 1013
VALIDATION_FAILED = "The build did not validate properly"


def expected_game(build, version, tmp_path):
    folder = sample_game.write_build(tmp_path / f"expected-{version}", version, build.helper("game.exe"))
    return sample_game.game_files(folder)


def wait_for_button(ui, caption):
    ui.wait_for_enabled(MAIN_WINDOW, BUTTON, caption, timeout=60)


def wait_for_work_offered(ui, timeout=60):
    """After a failure the work is offered again, as a fresh start would: "&Update", or
    "&Install" once the failed run had let go of the record."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if ui.enabled(MAIN_WINDOW, BUTTON) and ui.text(MAIN_WINDOW, BUTTON) in ("&Install", "&Update"):
            return
        time.sleep(0.2)
    raise AssertionError(f"the work is not offered again: {ui.text(MAIN_WINDOW, BUTTON)!r}")


def preinstall(install, build, version, tmp_path):
    """The game folder and record of an installed `version`, as an install leaves them."""
    folder = sample_game.write_build(tmp_path / f"installed-{version}", version, build.helper("game.exe"))
    shutil.copytree(folder, install.game_dir)
    install.mark_installed(version)
    (install.directory / "redist.txt").write_bytes(b"")


def runtime_runs(install):
    log = install.directory / "vc_redist.x64.exe.log"
    if not log.exists():
        return []
    return [line for line in log.read_bytes().decode("utf-8").split("\r\n") if line.startswith("cmdline=")]


def leftovers(install):
    """Temporary files the update flow must not leave behind."""
    names = [p.name for p in install.directory.rglob("*") if p.is_file()]
    return [n for n in names if n.endswith((".old", ".part", ".zip", ".tmp")) or n.startswith("manifest")]


def test_install_from_a_fresh_directory(signed_in, install, published, build, ui, shot, tmp_path):
    published("1.0", "1.1")
    signed_in()
    assert ui.text(MAIN_WINDOW, BUTTON) == "&Install"
    ui.click(MAIN_WINDOW, BUTTON)
    assert ui.text(MAIN_WINDOW, BUTTON) in ("&Stop", "&Play"), "the button stops the worker while it runs"
    shot("installing")
    wait_for_button(ui, "&Play")
    shot("installed")

    assert ui.visible(MAIN_WINDOW, SERVER_LIST)
    assert ui.combo_items(MAIN_WINDOW, SERVER_LIST) == ["Alpha", "Bravo"]
    assert runtime_runs(install) == [f"cmdline={install.windows_path('vc_redist.x64.exe')} /quiet /norestart"]
    assert (install.directory / "redist.txt").read_bytes() == b""
    assert not (install.directory / "vc_redist.x64.exe").exists()
    assert sample_game.game_files(install.game_dir) == expected_game(build, "1.1", tmp_path)
    assert (install.directory / "version.xml").read_text() == '<Version Current="1.1"/>\n'
    assert (install.directory / "versions.xml").exists(), "an install leaves the catalogue"
    assert leftovers(install) == []


def test_second_install_does_not_run_the_runtime_again(signed_in, install, published, ui):
    published("1.0")
    (install.directory / "redist.txt").write_bytes(b"")
    signed_in()
    ui.click(MAIN_WINDOW, BUTTON)
    wait_for_button(ui, "&Play")
    assert runtime_runs(install) == []


def test_update_across_versions_with_deletions_and_a_patch(signed_in, install, published, build, ui,
                                                          server, shot, tmp_path):
    published("1.0")
    preinstall(install, build, "1.0", tmp_path)
    published("1.1", "1.2")
    signed_in()
    assert ui.text(MAIN_WINDOW, BUTTON) == "&Update"
    server.clear_requests()
    ui.click(MAIN_WINDOW, BUTTON)
    wait_for_button(ui, "&Play")
    shot("updated")

    assert sample_game.game_files(install.game_dir) == expected_game(build, "1.2", tmp_path)
    assert (install.game_dir / "main.mix").read_bytes() == (tmp_path / "expected-1.2" / "main.mix").read_bytes()
    assert not (install.game_dir / "data" / "legacy.txt").exists()
    assert (install.directory / "version.xml").read_text() == '<Version Current="1.2"/>\n'
    assert not (install.directory / "versions.xml").exists(), "an update removes the catalogue"
    assert leftovers(install) == []
    fetched = [r.path for r in server.requests()]
    assert any(p.startswith("/launcher/1.1/patch-") for p in fetched), fetched


def test_update_to_a_later_full_version_clears_the_game_folder(signed_in, install, published, build, ui,
                                                              tmp_path):
    published("1.0")
    preinstall(install, build, "1.0", tmp_path)
    (install.game_dir / "stray.txt").write_bytes(b"not part of any version")
    published("1.1", "1.2", full=("1.0", "1.2"))
    signed_in()
    ui.click(MAIN_WINDOW, BUTTON)
    wait_for_button(ui, "&Play")
    assert not (install.game_dir / "stray.txt").exists()
    assert sample_game.game_files(install.game_dir) == expected_game(build, "1.2", tmp_path)


def test_a_build_that_does_not_validate(signed_in, install, published, release, ui, shot):
    tree = published("1.0")
    manifest = tree / "1.0" / "manifest.validate.xml"
    text = manifest.read_text()
    first_hash = text.split('checksum="')[1][:64]
    manifest.write_text(text.replace(first_hash, "0" * 64, 1))
    signed_in()
    ui.click(MAIN_WINDOW, BUTTON)
    body = ui.message_box(VALIDATION_FAILED, timeout_ms=60000)
    shot("validation-failed")
    assert body.startswith("Validation Failed"), body
    assert "changed: " in body, "the message names the file"
    ui.press(VALIDATION_FAILED)
    ui.wait_gone(VALIDATION_FAILED)
    wait_for_button(ui, "&Install")  # the work is offered again, as a fresh start would
    assert not (install.game_dir / "manifest.validate.xml").exists(), "the game folder holds only the game"
    assert not (install.directory / "version.xml").exists()


INSTALL_FAILURE = "Install Failure"


def publish_by_hand(release, version, manifest, packages):
    """A version written without the publisher, for packages it would never make."""
    folder = release.root / "launcher" / version
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "manifest.xml").write_text(manifest)
    for name, entries in packages.items():
        with zipfile.ZipFile(folder / f"{name}.zip", "w") as package:
            for entry, content in entries.items():
                package.writestr(entry, content)
    catalogue = release.root / "launcher" / "versions.xml"
    text = catalogue.read_text()
    catalogue.write_text(text.replace("</Versions>", f'<Version Value="{version}" Type="Patch"/></Versions>')
                         .replace('Current="1.0"', f'Current="{version}"'))


def update_fails(signed_in, ui, shot, name):
    signed_in()
    assert ui.text(MAIN_WINDOW, BUTTON) == "&Update"
    ui.click(MAIN_WINDOW, BUTTON)
    body = ui.message_box(INSTALL_FAILURE, timeout_ms=60000)
    shot(name)
    ui.press(INSTALL_FAILURE)
    ui.wait_gone(INSTALL_FAILURE)
    wait_for_work_offered(ui)
    return body


def test_a_corrupt_patch_is_made_good_by_repair(signed_in, install, published, build, ui, server, shot,
                                                tmp_path):
    tree = published("1.0")
    preinstall(install, build, "1.0", tmp_path)
    published("1.1")
    [package] = (tree / "1.1").glob("patch-*.zip")
    with zipfile.ZipFile(package) as original:
        entries = {info.filename: b"this is not a MIX archive" for info in original.infolist()}
    with zipfile.ZipFile(package, "w") as damaged:
        for entry, content in entries.items():
            damaged.writestr(entry, content)

    signed_in()
    server.clear_requests()
    ui.click(MAIN_WINDOW, BUTTON)
    wait_for_button(ui, "&Play")
    shot("repaired-after-corrupt-patch")
    assert sample_game.game_files(install.game_dir) == expected_game(build, "1.1", tmp_path)
    repaired = [r.path for r in server.requests() if r.path.startswith("/launcher/store/")]
    assert len(repaired) == 1, repaired
    assert (install.directory / "version.xml").read_text() == '<Version Current="1.1"/>\n'


@pytest.mark.parametrize("entry", ["..\\escaped.txt", "C:escaped.txt", "CON", "data/aux.txt", "lands. "])
def test_a_zip_entry_never_writes_outside_the_game_folder(signed_in, install, published, release, build,
                                                         ui, shot, tmp_path, entry):
    published("1.0")
    preinstall(install, build, "1.0", tmp_path)
    publish_by_hand(release, "1.1", '<Game_Manifest><File package="evil" name="escaped.txt" checksum="AB"/>'
                    '</Game_Manifest>', {"evil": {entry: b"out of bounds"}})
    body = update_fails(signed_in, ui, shot, "zip-refused")
    outside = [p for p in install.directory.parent.rglob("*escaped*") if install.game_dir not in p.parents]
    assert outside == []
    assert "evil.zip" in body and entry in body, body
    assert {p.name for p in install.game_dir.iterdir()} == {"game.exe", "data", "main.mix"}


def test_file_names_in_any_script_install_as_published(signed_in, install, published, release, build, ui,
                                                      tmp_path):
    published()
    files = {"donn\u00e9es/carte \u00e9t\u00e9.txt": b"ete",
             "\u043a\u0430\u0440\u0442\u044b/\u0441\u0435\u0432\u0435\u0440.map": sample_game.noise(7, 4096),
             "\u8a66\u9a13 \U0001F3AE.dat": b"shi ken"}
    folder = tmp_path / "build-scripts"
    folder.mkdir()
    shutil.copy2(build.helper("game.exe"), folder / "game.exe")
    for name, content in files.items():
        (folder / name).parent.mkdir(parents=True, exist_ok=True)
        (folder / name).write_bytes(content)
    sample_game.run_tool(sample_game.PUBLISH, "add-version", release.root, "1.0", folder, "--full")
    signed_in()
    ui.click(MAIN_WINDOW, BUTTON)
    # Play comes only once the game folder validated against the published list.
    wait_for_button(ui, "&Play")
    assert sample_game.game_files(install.game_dir) == sample_game.game_files(folder)
    assert (install.directory / "version.xml").exists()


def test_a_manifest_that_is_not_xml_is_reported(signed_in, install, published, release, build, ui, shot,
                                               tmp_path):
    published("1.0")
    preinstall(install, build, "1.0", tmp_path)
    publish_by_hand(release, "1.1", "<Game_Manifest><File package=", {})
    body = update_fails(signed_in, ui, shot, "manifest-not-xml")
    assert "manifest.xml" in body, body


def test_a_package_the_server_lacks_is_named(signed_in, install, published, release, build, ui, shot, tmp_path):
    published("1.0")
    preinstall(install, build, "1.0", tmp_path)
    publish_by_hand(release, "1.1", '<Game_Manifest><File package="files-data" name="data/readme.txt" '
                    'checksum="AB"/></Game_Manifest>', {})
    body = update_fails(signed_in, ui, shot, "package-missing")
    assert "files-data.zip" in body, body


LAUNCHER_UPDATE_FAILED = "Launcher Update Failure"


def test_self_update_replaces_and_restarts_the_launcher(signed_in, install, release, build, ui, shot):
    release.launcher_version("1.0.2")
    # The served launcher differs from the running one by trailing bytes, which Windows
    # ignores, so the file in place afterwards shows which one arrived.
    served = build.launcher.read_bytes() + b"\0release 1.0.2\0"
    release.write("update/launcher.exe", served)
    signed_in()
    assert ui.text(MAIN_WINDOW, BUTTON) == "&Update Launcher"
    ui.click(MAIN_WINDOW, BUTTON)
    assert install.wait_exit(timeout=60) == 0, "the old launcher ends itself"
    ui.wait(MAIN_WINDOW, timeout_ms=30000)
    shot("restarted")
    # The new launcher started as launcher-new.exe and moved itself over the old one.
    assert not (install.directory / "launcher-new.exe").exists()
    assert (install.directory / "launcher.exe").read_bytes() == served
    ui.close(MAIN_WINDOW)
    ui.wait_gone(MAIN_WINDOW)


def test_self_update_without_a_served_launcher_keeps_the_old_one(signed_in, install, release, build, ui, shot):
    release.launcher_version("1.0.2")
    original = (install.directory / "launcher.exe").read_bytes()
    signed_in()
    ui.click(MAIN_WINDOW, BUTTON)
    body = ui.message_box(LAUNCHER_UPDATE_FAILED, timeout_ms=60000)
    shot("launcher-update-failed")
    ui.press(LAUNCHER_UPDATE_FAILED)
    assert body
    assert (install.directory / "launcher.exe").read_bytes() == original
    assert not (install.directory / "launcher.ex_").exists()
    assert not (install.directory / "launcher-new.exe").exists()
    assert install.process.poll() is None, "the launcher keeps running"


def store_fetches(server):
    return [r.path for r in server.requests() if r.path.startswith("/launcher/store/")]


def restart_and_press(install, ui, server, shot, caption, name):
    """The player starts the launcher again, finds `caption` and presses it until "&Play"."""
    server.clear_requests()
    install.start()
    ui.wait(MAIN_WINDOW)
    shot(name)
    assert ui.text(MAIN_WINDOW, BUTTON) == caption
    ui.click(MAIN_WINDOW, BUTTON)
    wait_for_button(ui, "&Play")


def test_an_update_killed_half_way_is_repaired_at_the_next_start(signed_in, install, published, build, ui,
                                                                server, shot, tmp_path):
    published("1.0")
    preinstall(install, build, "1.0", tmp_path)
    published("1.1", "1.2")
    # The run is held once 1.1 is applied and killed there, mid-update (every manifest
    # was fetched before the first change; 1.2's first package arrives beside 1.1's last
    # step, its patch once 1.1 is in place).
    held, go_on = threading.Event(), threading.Event()
    gate = "/" + next((server.root / "launcher" / "1.2").glob("patch-*.zip")).relative_to(server.root).as_posix()

    def hold(path, query):
        held.set()
        go_on.wait(60)
        return 503, b"held\n", "text/plain"
    server.handlers[gate] = hold
    try:
        signed_in()
        ui.click(MAIN_WINDOW, BUTTON)
        assert held.wait(60), "the update reached version 1.2"
        install.kill()
    finally:
        go_on.set()
        del server.handlers[gate]
    assert not (install.directory / "version.xml").exists(), "no record claims a half-updated folder"

    restart_and_press(install, ui, server, shot, "&Install", "restarted-after-kill")
    shot("repaired-after-kill")
    assert sample_game.game_files(install.game_dir) == expected_game(build, "1.2", tmp_path)
    fetched = [r.path for r in server.requests()]
    assert store_fetches(server), fetched
    assert not [p for p in fetched if p.endswith(".zip") and "/store/" not in p], "repaired, not reinstalled"
    assert leftovers(install) == []


def test_a_lost_game_file_turns_play_into_update_which_fetches_only_it(signed_in, install, published, build,
                                                                      ui, server, shot, tmp_path):
    published("1.0")
    signed_in()
    ui.click(MAIN_WINDOW, BUTTON)
    wait_for_button(ui, "&Play")
    ui.close(MAIN_WINDOW)
    ui.wait_gone(MAIN_WINDOW)
    install.wait_exit()

    (install.game_dir / "data" / "readme.txt").unlink()
    restart_and_press(install, ui, server, shot, "&Update", "file-lost")
    assert sample_game.game_files(install.game_dir) == expected_game(build, "1.0", tmp_path)
    assert len(store_fetches(server)) == 1, [r.path for r in server.requests()]
    assert not [r.path for r in server.requests() if r.path.endswith("manifest.xml")], "no package was needed"


LOGOUT = 1018
LAUNCHER_BUSY = "Launcher Busy"
CRASH_DIALOG = "Program Error"  # wine's box for a program that crashed


class HeldRequests:
    """Holds every request under a path prefix until released, then serves it as usual:
    a slow server that keeps the worker busy for as long as a test needs."""

    def __init__(self, server, prefix):
        self.server, self.prefix = server, prefix
        self.arrived, self.released = threading.Event(), threading.Event()

    def __call__(self, path, query):
        self.arrived.set()
        self.released.wait(timeout=120)
        return self.server.static_response(path)


@pytest.fixture
def hold(server):
    held = []

    def hold_under(prefix):
        held.append(HeldRequests(server, prefix))
        server.handlers[prefix] = held[-1]
        return held[-1]
    yield hold_under
    for requests in held:
        server.handlers.pop(requests.prefix, None)
        requests.released.set()


def test_close_asks_logout_waits_and_a_killed_install_is_redone(
        signed_in, install, published, build, ui, hold, shot, tmp_path):
    published("1.0")
    held = hold("/launcher/1.0/")
    signed_in()
    ui.click(MAIN_WINDOW, BUTTON)
    assert held.arrived.wait(timeout=60), "the install never asked for version 1.0"
    assert not ui.enabled(MAIN_WINDOW, LOGOUT) and not ui.enabled(MAIN_WINDOW, 1019)
    assert ui.text(MAIN_WINDOW, BUTTON) == "&Stop" and ui.enabled(MAIN_WINDOW, BUTTON)
    ui.close(MAIN_WINDOW)
    assert "Stop the work and close the launcher?" in ui.message_box(LAUNCHER_BUSY)
    shot("stop-and-close-question")
    ui.press(LAUNCHER_BUSY, button=7)  # No: the work goes on
    ui.wait_gone(LAUNCHER_BUSY)
    ui.click(MAIN_WINDOW, LOGOUT)
    assert "closed once it has finished" in ui.message_box(LAUNCHER_BUSY)
    ui.press(LAUNCHER_BUSY)
    ui.wait_gone(LAUNCHER_BUSY)
    assert install.config_txt.exists(), "logout waits too"
    held.released.set()
    wait_for_button(ui, "&Play")
    ui.close(MAIN_WINDOW)
    assert install.wait_exit() == 0
    assert sample_game.game_files(install.game_dir) == expected_game(build, "1.0", tmp_path)

    # A launcher ended from outside mid-install leaves a folder the next start redoes.
    shutil.rmtree(install.game_dir)
    (install.directory / "version.xml").unlink()
    held = hold("/launcher/1.0/")
    install.start()
    ui.wait(MAIN_WINDOW)
    ui.click(MAIN_WINDOW, BUTTON)
    assert held.arrived.wait(timeout=60)
    install.kill()
    held.released.set()
    install.start()
    ui.wait(MAIN_WINDOW)
    assert ui.text(MAIN_WINDOW, BUTTON) == "&Install"
    ui.click(MAIN_WINDOW, BUTTON)
    wait_for_button(ui, "&Play")
    shot("redone")
    assert sample_game.game_files(install.game_dir) == expected_game(build, "1.0", tmp_path)
    assert not ui.exists(CRASH_DIALOG)
    assert b"exception" not in install.log.read_bytes().lower()
