"""kestrava-install, natively and as the Windows console build under wine, against nginx
serving a signed release: install, status, update, validate with a tampered file (the
exit code and the JSON name it), repair; and a second run on a folder another holds."""
import json
import subprocess
import threading

import pytest

from harness import sample_game
from servers.nginx import Nginx

INVALID = 8
BUSY = 3


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


@pytest.fixture(params=["native", "wine"])
def kestrava_install(request, tools, release, certs, tmp_path):
    """Runs a command of the tool on a folder: (exit code, its JSON events)."""
    keys = tmp_path / "keys.txt"
    keys.write_text("".join(public + "\n" for _, public in release.keys))
    if request.param == "native":
        def arguments(verb, folder, server):
            return [sample_game.INSTALL, verb, folder, "--server", server, "--keys", keys, "--cacert", certs.ca_pem,
                    "--json"]

        def run(verb, folder, server):
            result = subprocess.run(arguments(verb, folder, server), capture_output=True, timeout=300)
            return result.returncode, result.stdout.decode()

        def start(verb, folder, server):
            return subprocess.Popen(arguments(verb, folder, server), stdout=subprocess.DEVNULL)
    else:
        # The prefix trusts the test authority, as a host's system store would.
        build, prefix = request.getfixturevalue("build"), request.getfixturevalue("prefix")
        program = build.helper("kestrava-install.exe")
        kind = subprocess.run(["file", "-b", program], capture_output=True, text=True).stdout
        assert "(console)" in kind, kind

        def arguments(verb, folder, server):
            return [program, verb, windows_path(folder), "--server", server, "--keys", windows_path(keys), "--json"]

        def run(verb, folder, server):
            result = prefix.run(arguments(verb, folder, server), check=False, timeout=300)
            return result.returncode, result.stdout.decode()

        def start(verb, folder, server):
            return prefix.start(arguments(verb, folder, server))

    def command(verb, folder, server):
        code, out = run(verb, folder, server)
        events = [json.loads(line) for line in out.splitlines() if line.strip()]
        assert events and events[-1]["exit"] == code, out
        return code, events
    command.start = start
    return command


def test_a_server_host_installs_updates_validates_and_repairs(kestrava_install, published, release, build, certs,
                                                                tmp_path):
    published("1.0")
    release.sign()
    nginx = Nginx(release.root, certs).start()
    try:
        folder = tmp_path / "game-server"
        game = folder / "game"
        expected = lambda version: sample_game.game_files(
            sample_game.write_build(tmp_path / f"expected-{version}", version, build.helper("game.exe")))
        assert kestrava_install("install", folder, nginx.host)[0] == 0
        assert sample_game.game_files(game) == expected("1.0")

        published("1.1")
        release.sign()
        code, events = kestrava_install("status", folder, nginx.host)
        assert code == 0 and events[-2] == {"event": "status", "installed": "1.0", "latest": "1.1",
                                            "update_due": True}
        code, events = kestrava_install("update", folder, nginx.host)
        assert code == 0 and {"event": "version-applied", "version": "1.1"} in events
        assert sample_game.game_files(game) == expected("1.1")

        (game / "data" / "readme.txt").write_bytes(b"tampered\r\n")
        code, events = kestrava_install("validate", folder, nginx.host)
        assert (code, events[-1]["cause"]) == (INVALID, "invalid-installation")
        assert [e for e in events if e["event"] == "problem"] == [
            {"event": "problem", "kind": "changed", "file": "data/readme.txt"}]

        assert kestrava_install("repair", folder, nginx.host)[0] == 0
        assert kestrava_install("validate", folder, nginx.host)[0] == 0
        assert sample_game.game_files(game) == expected("1.1")
        code, events = kestrava_install("status", folder, nginx.host)
        assert events[-2]["update_due"] is False
        assert kestrava_install("update", folder, nginx.host)[0] == 1, "nothing to do"
    finally:
        nginx.stop()


def test_a_second_run_on_a_held_folder_exits_at_once(kestrava_install, published, release, server, tmp_path):
    published("1.0")
    release.sign()
    # The first run is held at its first package until the second has come and gone.
    held, go_on = threading.Event(), threading.Event()

    def hold(path, query):
        if path.endswith(".zip"):
            held.set()
            go_on.wait(120)
        return None
    server.handlers["/launcher/1.0/"] = hold
    folder = tmp_path / "game-server"
    first = kestrava_install.start("install", folder, server.host)
    try:
        assert held.wait(120), "the first run never asked for a package"
        code, events = kestrava_install("install", folder, server.host)
        assert (code, events[-1]["cause"]) == (BUSY, "folder-busy"), events
    finally:
        first.kill()
        first.wait()
        go_on.set()
        del server.handlers["/launcher/1.0/"]
    assert kestrava_install("install", folder, server.host)[0] == 0, "the killed run's lock is free"
