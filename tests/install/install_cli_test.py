"""kestrava-install against the local HTTPS test server: each command on a signed release,
the exit code and the JSON cause of every failure the tool names, the folder lock, and a
run stopped or killed mid-download that the next run resumes."""
import fcntl
import json
import os
import pathlib
import pty
import shutil
import signal
import socket
import subprocess
import sys
import time

import pytest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))
sys.path.insert(0, str(HERE.parent / "faults"))
from release_tree import LATEST, PUBLISH, make_releases  # noqa: E402
from servers.certs import make_certificates  # noqa: E402
from servers.https_server import HttpsServer  # noqa: E402

TOOL = os.environ.get("KESTRAVA_INSTALL", "kestrava-install")
STALL = "2"  # seconds; the tool's own is 30
BIG = 6 * 1024 * 1024


def big_release(work, releases):
    """The signed tree with a third, full version holding a large file: a download long
    enough to kill or stop mid-way. Its largest package's URL path and size."""
    build = work / "build-3"
    shutil.copytree(releases.latest_build, build)
    (build / "data" / "movie.bik").write_bytes(os.urandom(BIG))
    tree = work / "signed-big"
    shutil.copytree(releases.signed_tree, tree)
    for args in (["add-version", tree, "3", build, "--full"], ["sign", tree, "--key", work / "release.key"]):
        subprocess.run([PUBLISH, *map(str, args)], check=True, capture_output=True)
    package = max((tree / "launcher" / "3").glob("*.zip"), key=lambda p: p.stat().st_size)
    return tree, build, "/" + package.relative_to(tree).as_posix(), package.stat().st_size


@pytest.fixture(scope="module")
def site(tmp_path_factory):
    work = tmp_path_factory.mktemp("releases")
    releases = make_releases(work)
    (work / "keys.txt").write_text(f"# the release key\n{releases.release_key}\n")
    certs = make_certificates(tmp_path_factory.mktemp("certs"))
    root = tmp_path_factory.mktemp("www")
    server = HttpsServer(root, certs).start()
    yield releases, certs, server, work / "keys.txt", big_release(work, releases)
    server.stop()


@pytest.fixture
def serve(site):
    """Puts a tree in the server's place and returns the server, with no faults."""
    server = site[2]

    def put(tree):
        for child in server.root.iterdir():
            shutil.rmtree(child)
        shutil.copytree(tree, server.root, dirs_exist_ok=True)
        server.clear_faults()
        server.clear_requests()
        server.limit_rate(None)
        return server
    return put


def command(site, verb, folder, *extra, server=None, keys=True, ca=True):
    _, certs, default, key_file, _ = site
    args = [TOOL, verb, str(folder), "--server", server or default.host, "--json"]
    args += ["--keys", str(key_file)] if keys else []
    args += ["--cacert", str(certs.ca_pem)] if ca else []
    return args + [str(e) for e in extra]


def run(site, verb, folder, *extra, **options):
    result = subprocess.run(command(site, verb, folder, *extra, **options), capture_output=True,
                            text=True, timeout=180, env={**os.environ, "KESTRAVA_STALL_SECONDS": STALL})
    events = [json.loads(line) for line in result.stdout.splitlines()]
    assert events and events[-1]["exit"] == result.returncode, result
    return result.returncode, events


def files(folder):
    return {p.relative_to(folder).as_posix(): p.read_bytes() for p in folder.rglob("*") if p.is_file()}


def recorded(install):
    return (install / "version.xml").read_text()


def test_every_command_on_a_signed_release(site, serve, tmp_path):
    releases = site[0]
    install = tmp_path / "install"
    serve(releases.signed_first_only)
    assert run(site, "install", install)[0] == 0
    assert files(install / "game") == files(releases.tree.parent / "build-1")
    assert run(site, "install", install)[0] == 1, "an intact folder is nothing to do"
    code, events = run(site, "status", install)
    assert code == 0 and events[-2] == {"event": "status", "installed": "1", "latest": "1", "update_due": False}

    serve(releases.signed_tree)
    assert run(site, "status", install)[1][-2]["update_due"] is True
    code, events = run(site, "update", install)
    assert code == 0, events
    kinds = {e["event"] for e in events}
    assert {"file-started", "file-done", "version-applied"} <= kinds, kinds
    assert {"event": "version-applied", "version": LATEST} in events
    assert files(install / "game") == files(releases.latest_build)
    assert run(site, "update", install)[0] == 1

    game = install / "game"
    (game / "data" / "rules.ini").write_bytes(b"[rules]\nspeed=9\n")
    (game / "maps" / "second.map").unlink()
    (game / "cheat.dll").write_bytes(b"x")
    code, events = run(site, "validate", install)
    assert code == 8 and events[-1]["cause"] == "invalid-installation"
    problems = {(e["kind"], e["file"]) for e in events if e["event"] == "problem"}
    assert problems == {("changed", "data/rules.ini"), ("missing", "maps/second.map"),
                        ("unexpected", "cheat.dll")}
    served = site[2].bytes_sent()
    assert run(site, "repair", install)[0] == 0
    assert site[2].bytes_sent() - served < 4096, "a repair fetches only what differs"
    assert run(site, "validate", install)[0] == 0
    assert run(site, "repair", install)[0] == 1
    assert files(install / "game") == files(releases.latest_build)

    older = tmp_path / "older"
    assert run(site, "install", older, "--version", "1")[0] == 0
    assert 'Current="1"' in recorded(older)
    code, events = run(site, "install", tmp_path / "none", "--version", "9")
    assert code == 2 and "not published" in events[-1]["message"]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def tampered_catalogue(server):
    path = server.root / "launcher" / "versions.xml"
    path.write_bytes(path.read_bytes().replace(b'Current="2"', b'Current="1"'))


# (name, how the server or the folder is set up, command, its arguments, exit code, cause)
CAUSES = [
    ("no server listens", "dead", "install", (), 4, "unreachable"),
    ("certificate of no known authority", "no-ca", "install", (), 4, "unreachable"),
    ("packages stall on every try", "stall", "install", (), 5, "stalled"),
    ("catalogue not signed as served", "tampered", "status", (), 6, "release-refused"),
    ("release older than one accepted", "replay", "update", (), 6, "release-refused"),
    ("the disk fills up", "disk-full", "install", (), 7, "disk-full"),
    ("validate with nothing installed", "empty", "validate", (), 8, "invalid-installation"),
    ("the game folder is a file", "game-is-a-file", "install", (), 10, "failure"),
    ("unknown option", None, "install", ("--fast",), 2, "bad-arguments"),
    ("a rate that is no number", None, "install", ("--limit-rate", "lots"), 2, "bad-arguments"),
    ("a folder that does not exist", None, "status", (), 2, "bad-arguments"),
]


@pytest.mark.parametrize("name,setup,verb,extra,code,cause", CAUSES, ids=[c[0] for c in CAUSES])
def test_each_cause_has_its_exit_code(site, serve, tmp_path, name, setup, verb, extra, code, cause):
    releases = site[0]
    server = serve(releases.signed_tree)
    install = tmp_path / "install"
    options, wrapper = {}, []
    if setup == "dead":
        options["server"] = f"https://localhost:{free_port()}"
    elif setup == "no-ca":
        options["ca"] = False
    elif setup == "stall":
        server.fault("*.zip", "stall", headers=0)
    elif setup == "tampered":
        tampered_catalogue(server)
        install.mkdir()
    elif setup == "replay":
        assert run(site, "install", install)[0] == 0
        serve(releases.signed_first_only)
    elif setup == "disk-full":
        # The folder on a file system of its own, far smaller than the big release.
        serve(site[4][0])
        install.mkdir()
        if subprocess.run(["unshare", "--mount", "true"], capture_output=True).returncode != 0:
            pytest.skip("no mount namespace here for a small file system")
        wrapper = ["unshare", "--mount", "sh", "-c", f'mount -t tmpfs -o size=1m tmpfs "{install}" && exec "$@"',
                   "sh"]
    elif setup == "empty":
        install.mkdir()
    elif setup == "game-is-a-file":
        install.mkdir()
        (install / "game").write_bytes(b"not a folder")
    if name == "a folder that does not exist":
        install = tmp_path / "nowhere"
    args = wrapper + command(site, verb, install, *extra, **options)
    result = subprocess.run(args, capture_output=True, text=True, timeout=180,
                            env={**os.environ, "KESTRAVA_STALL_SECONDS": STALL})
    last = json.loads(result.stdout.splitlines()[-1])
    assert (result.returncode, last["cause"]) == (code, cause), result
    assert last["event"] == "error" and last["message"]
    if setup in ("tampered", "dead", "no-ca", "stall"):
        assert not (install / "version.xml").exists()
        assert not (install / "game").exists() or not files(install / "game"), "nothing was installed"
    if setup == "replay":
        assert files(install / "game") == files(releases.latest_build), "a refused release changes nothing"


def test_one_run_holds_a_folder_and_a_killed_runs_lock_is_taken_over(site, serve, tmp_path):
    tree, build, package, size = site[4]
    server = serve(tree)
    install = tmp_path / "install"
    (install / "work").mkdir(parents=True)
    with open(install / "work" / "install.lock", "w") as held:
        fcntl.flock(held, fcntl.LOCK_EX)
        held.write("process 4242\n")
        held.flush()
        started = time.monotonic()
        code, events = run(site, "install", install)
        assert (code, events[-1]["cause"]) == (3, "folder-busy")
        assert "process 4242" in events[-1]["message"] and time.monotonic() - started < 10
    assert not (install / "game").exists()

    # Killed mid-package, the run leaves its lock file and its partial download behind.
    server.limit_rate(size // 4)
    process = subprocess.Popen(command(site, "install", install), stdout=subprocess.DEVNULL)
    deadline = time.monotonic() + 30
    while server.bytes_sent(package) < size // 3 and time.monotonic() < deadline:
        time.sleep(0.02)
    process.kill()
    process.wait()
    assert (install / "work" / "install.lock").exists()
    server.limit_rate(None)
    assert run(site, "install", install)[0] == 0
    assert files(install / "game") == files(build)
    assert any(r.range for r in server.requests() if r.path == package), "the partial package was resumed"


def test_sigterm_stops_at_the_next_step_and_the_next_run_resumes(site, serve, tmp_path):
    tree, build, package, size = site[4]
    server = serve(tree)
    install = tmp_path / "install"
    server.limit_rate(size // 4)
    process = subprocess.Popen(command(site, "install", install), stdout=subprocess.PIPE, text=True)
    deadline = time.monotonic() + 30
    while server.bytes_sent(package) < size // 3 and time.monotonic() < deadline:
        time.sleep(0.02)
    process.send_signal(signal.SIGTERM)
    out, _ = process.communicate(timeout=30)
    assert process.returncode == 9 and json.loads(out.splitlines()[-1])["cause"] == "stopped"
    server.limit_rate(None)
    assert run(site, "install", install)[0] == 0
    assert files(install / "game") == files(build)
    assert server.bytes_sent(package) <= 1.1 * size, "the stopped download was kept and resumed"


def test_a_terminal_gets_a_progress_line_and_a_pipe_only_the_outcome(site, serve, tmp_path):
    releases = site[0]
    serve(releases.signed_tree)
    args = [a for a in command(site, "install", tmp_path / "tty") if a != "--json"]
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(args[0], args)
    seen = b""
    while True:
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        seen += chunk
    _, status = os.waitpid(pid, 0)
    assert os.waitstatus_to_exitcode(status) == 0
    assert b"\rDownloading File " in seen or b"\rInstalling Version " in seen, seen

    piped = subprocess.run([a for a in command(site, "install", tmp_path / "pipe") if a != "--json"],
                           capture_output=True, text=True, timeout=120)
    assert piped.returncode == 0 and piped.stderr == ""
    assert piped.stdout.strip().splitlines() == [f"{tmp_path / 'pipe'} holds version {LATEST}."]
