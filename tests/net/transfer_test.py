"""The launcher's HTTP client against a real local HTTPS server that misbehaves the way
networks do: each fault ends in the right result, the file byte-equal to the server's or
absent, and no more bytes cross than the fault makes necessary."""
import json
import os
import pathlib
import subprocess
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from servers.certs import make_certificates  # noqa: E402
from servers.https_server import HttpsServer  # noqa: E402

PROBE = os.environ.get("FETCH_PROBE", "fetch_probe")
SIZE = 4 * 1024 * 1024
PATH = "/launcher/2/files-data.zip"
STALL = 2  # seconds; the launcher's is 30


@pytest.fixture(scope="module")
def site(tmp_path_factory):
    root = tmp_path_factory.mktemp("tree")
    body = os.urandom(SIZE)
    (root / "launcher" / "2").mkdir(parents=True)
    (root / "launcher" / "2" / "files-data.zip").write_bytes(body)
    certs = make_certificates(tmp_path_factory.mktemp("certs"))
    server = HttpsServer(root, certs).start()
    yield server, certs, body
    server.stop()


@pytest.fixture
def server(site):
    server, _, _ = site
    server.clear_faults()
    server.clear_requests()
    server.limit_rate(None)
    return server


def fetch(site, out, *options, url=None):
    server, certs, _ = site
    command = [PROBE, url or server.host + PATH, str(out), "--ca", str(certs.ca_pem),
               "--stall", str(STALL), *map(str, options)]
    result = subprocess.run(command, capture_output=True, text=True, timeout=120)
    return json.loads(result.stdout.strip().splitlines()[-1])


# (fault mode and its parameters, how often it strikes, probe options, the result, the
# most bytes that may cross as a share of the file's size (None: not judged), whether a
# Range is asked)
FAULTS = [
    ("clean", None, None, (), "completed", 1.0, False),
    ("drop at 40%", ("drop", {"at": 0.4}), 1, ("--resumable",), "completed", 1.01, True),
    ("stall at 40%", ("stall", {"at": 0.4}), 1, ("--resumable",), "completed", 1.01, True),
    ("stall from the start", ("stall", {"headers": 0}), 1, (), "completed", 1.0, False),
    ("503 once", ("status", {"code": 503}), 1, (), "completed", 1.0, False),
    ("ignores Range after a drop", ("drop", {"at": 0.4}), 1, ("--resumable",), "completed", 1.41, True),
    ("body longer than its length", ("long_body", {}), 1, (), "completed", 1.01, False),
    ("length past the body", ("short_body", {}), 1, ("--resumable",), "completed", 1.01, True),
    ("redirected", ("redirect", {"to": PATH + "?moved"}), 1, (), "completed", 1.0, False),
    ("stalls on every try", ("stall", {"headers": 0}), None, ("--resumable",), "stalled", 0.26, True),
    ("503 on every try", ("status", {"code": 503}), None, (), "unreachable", 0, False),
    ("redirect loop", ("redirect_loop", {}), None, (), "refused", 0, False),
    ("HTML error page", ("html_200", {}), None, ("--expected", SIZE), "not-as-published", None, False),
    ("length of 2^63", ("huge_length", {}), None, (), "refused", None, False),
    ("gzip unasked", ("gzip", {}), None, (), "refused", None, False),
]


@pytest.mark.parametrize("name,fault,times,options,expected,most,ranged", FAULTS, ids=[f[0] for f in FAULTS])
def test_fault(site, server, tmp_path, name, fault, times, options, expected, most, ranged):
    if fault:
        server.fault(PATH, fault[0], times=times, **fault[1])
    if name == "stalls on every try":
        server.fault(PATH, "stall", times=1, at=0.25)  # bytes first, then silence from the start
    if name.startswith("ignores Range"):
        server.fault(PATH, "ignore_range")  # beneath the one-off drop
        server.fault(PATH, "drop", times=1, at=0.4)
    out = tmp_path / "files-data.zip"
    answer = fetch(site, out, *options)
    assert answer["result"] == expected, answer
    if expected == "completed":
        assert out.read_bytes() == site[2]
    else:
        assert not out.exists()
    # A refused answer's bytes are whatever the socket took before the client hung up: only
    # what is kept counts there.
    if most is not None:
        assert server.bytes_sent(PATH) <= most * SIZE + 512 * 1024
    asked = [r.range for r in server.requests() if r.path == PATH]
    assert any(asked) == ranged, asked
    if expected == "stalled":
        assert answer["failure"] == f"the server sent nothing for {STALL} seconds"
        assert (tmp_path / "files-data.zip.part").stat().st_size > 0, "a stalled transfer keeps its bytes"


def test_a_broken_transfer_resumes_in_the_next_run_unless_the_file_changed(site, server, tmp_path):
    out = tmp_path / "files-data.zip"
    server.limit_rate(4 * 1024 * 1024)  # slow enough for the stop to land mid-file
    assert fetch(site, out, "--resumable", "--stop-at", SIZE // 2)["result"] == "stopped"
    assert not out.exists() and (tmp_path / "files-data.zip.part").exists()
    assert fetch(site, out, "--resumable")["result"] == "completed"
    assert out.read_bytes() == site[2]
    # Beside the 5%: what was in flight when the stop came, the socket buffers' worth.
    assert server.bytes_sent(PATH) <= 1.05 * SIZE + 1024 * 1024
    assert not (tmp_path / "files-data.zip.part.resume").exists()

    assert fetch(site, out, "--resumable", "--stop-at", SIZE // 2)["result"] == "stopped"
    published = server.root / PATH.lstrip("/")
    published.write_bytes(site[2][::-1])
    try:
        assert fetch(site, out, "--resumable")["result"] == "completed"
        assert out.read_bytes() == site[2][::-1], "If-Range must not mix the old file's bytes with the new's"
    finally:
        published.write_bytes(site[2])
    resumed = [r for r in server.requests() if r.path == PATH and r.range]
    assert len(resumed) == 2 and all(r.if_range for r in resumed), "each resumption names the validator"


def test_mirrors_take_over_from_a_dead_or_failing_host(site, server, tmp_path):
    dead = "https://localhost:9"  # discard: nothing listens
    answer = fetch(site, tmp_path / "a.zip", "--mirror", dead, "--mirror", server.host, url=dead + PATH)
    assert answer["result"] == "completed"
    second = HttpsServer(server.root, site[1]).start()
    try:
        server.fault(PATH, "status", code=502)
        answer = fetch(site, tmp_path / "b.zip", "--mirror", server.host, "--mirror", second.host)
        assert answer["result"] == "completed" and second.bytes_sent(PATH) == SIZE
    finally:
        second.stop()
    assert (tmp_path / "b.zip").read_bytes() == site[2]


@pytest.mark.parametrize("cert,words", [
    ("wrong-host", "its certificate is for another host name"),
    ("expired", "its certificate has expired"),
    ("untrusted", "its certificate is not from a trusted authority"),
])
def test_certificates_are_checked(site, tmp_path, cert, words):
    _, certs, _ = site
    bad = HttpsServer(site[0].root, certs, cert=cert).start()
    try:
        answer = fetch(site, tmp_path / "x.zip", url=bad.host + PATH)
    finally:
        bad.stop()
    assert answer["result"] == "untrusted" and answer["failure"] == words, answer
    assert not (tmp_path / "x.zip").exists()
