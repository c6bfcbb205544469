"""The taskbar button while the worker runs, as the launcher drives it: wine draws no
taskbar, so a recorder takes the place of the shell's taskbar object in the prefix, and
wine's own trace shows the window flashing."""
import re

import pytest

from conftest import MAIN_WINDOW
from test_update import BUTTON, INSTALL_FAILURE, preinstall, publish_by_hand, wait_for_button

TBPF_NOPROGRESS, TBPF_NORMAL, TBPF_ERROR = 0x0, 0x2, 0x4
TASKBAR_SERVER = r"HKLM\Software\Classes\CLSID\{56FDF344-FD6D-11D0-958A-006097C9A090}\InprocServer32"


def default_value(prefix, key):
    result = prefix.run(["reg", "query", key, "/ve"], check=False)
    for line in result.stdout.decode(errors="replace").splitlines():
        match = re.match(r"^\s+\S.*?\s+REG_\w+\s+(.*?)\s*$", line)
        if match:
            return match.group(1)
    return None


@pytest.fixture
def taskbar(prefix, build, install):
    """The calls the launcher makes on its taskbar button, read back as
    [("value", done, total) | ("state", flags)]."""
    original = default_value(prefix, TASKBAR_SERVER)
    recorder = "Z:" + str(build.helper("taskbar_recorder.dll")).replace("/", "\\")
    prefix.run(["reg", "add", TASKBAR_SERVER, "/ve", "/d", recorder, "/f"])
    log = install.directory / "taskbar.log"

    def calls():
        if not log.exists():
            return []
        return [(words[0], *map(int, words[1:])) for words in map(str.split, log.read_text().splitlines())]
    yield calls
    install.kill()
    if original is not None:
        prefix.run(["reg", "add", TASKBAR_SERVER, "/ve", "/d", original, "/f"])


def states(calls):
    return [call[1] for call in calls if call[0] == "state"]


def test_install_progress_shows_on_the_taskbar_and_is_cleared_at_the_end(
        signed_in, install, published, ui, taskbar):
    published("1.0")
    # The runtime's installer would come to the front (and the launcher flash at the end).
    (install.directory / "redist.txt").write_bytes(b"")
    install.wine_debug = "trace+win"
    signed_in()
    assert taskbar() == [], "the opening checks leave the button alone"
    ui.click(MAIN_WINDOW, BUTTON)
    wait_for_button(ui, "&Play")
    assert ui.foreground(MAIN_WINDOW) == MAIN_WINDOW

    calls = taskbar()
    assert states(calls) == [TBPF_NORMAL, TBPF_NOPROGRESS], calls
    values = [call[1:] for call in calls if call[0] == "value"]
    assert len(values) > 3, calls
    assert all(0 <= done <= total for done, total in values), values
    assert len({total for _, total in values}) > 1, "each download shows its own size"
    assert calls[-2][0] == "value", "nothing after the end but the cleared state"
    assert flashes(install) == 0, "the player is looking: nothing flashes"


def test_a_failed_update_turns_the_button_red(signed_in, install, published, release, build, ui,
                                               tmp_path, taskbar):
    published("1.0")
    preinstall(install, build, "1.0", tmp_path)
    publish_by_hand(release, "1.1", '<Game_Manifest><File package="files-data" name="data/readme.txt" '
                    'checksum="AB"/></Game_Manifest>', {})
    signed_in()
    ui.click(MAIN_WINDOW, BUTTON)
    ui.message_box(INSTALL_FAILURE, timeout_ms=60000)
    calls = taskbar()
    assert states(calls) == [TBPF_NORMAL, TBPF_ERROR], calls
    assert calls[-2][0] == "value" and calls[-2][1] > 0, "red where it can be seen"
    ui.press(INSTALL_FAILURE)


def flashes(install):
    return install.log.read_bytes().count(b"NtUserFlashWindowEx")


def test_an_install_that_ends_behind_another_window_flashes_it(signed_in, install, published, ui,
                                                               prefix, shot):
    published("1.0")
    install.wine_debug = "trace+win"
    signed_in()
    ui.click(MAIN_WINDOW, BUTTON)
    other = prefix.start(["notepad"])
    try:
        ui.wait("Untitled - Notepad")
        assert ui.foreground(MAIN_WINDOW) == "Untitled - Notepad"
        wait_for_button(ui, "&Play")
        shot("flashed")
        assert flashes(install) >= 1
    finally:
        other.kill()
