"""The test servers against real clients (ssl sockets, http.client, curl): what a
downloader resumes against, and each fault as a client sees it."""
import gzip
import http.client
import json
import pathlib
import random
import shutil
import socket
import ssl
import subprocess
import sys
import threading
import time

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))

from servers.certs import make_certificates  # noqa: E402
from servers.https_server import HTML_ERROR, HttpsServer  # noqa: E402
from servers.nginx import Nginx  # noqa: E402

PACKAGE = "/launcher/2/game.zip"
DATA = random.Random(7).randbytes(300_000)
SIZE = len(DATA)
CUT = 1000


@pytest.fixture(scope="module")
def certs(tmp_path_factory):
    return make_certificates(tmp_path_factory.mktemp("certs"))


@pytest.fixture(scope="module")
def tls(certs):
    return ssl.create_default_context(cafile=str(certs.ca_pem))


@pytest.fixture(scope="module")
def root(tmp_path_factory):
    root = tmp_path_factory.mktemp("www")
    (root / PACKAGE[1:]).parent.mkdir(parents=True)
    (root / PACKAGE[1:]).write_bytes(DATA)
    (root / "update").mkdir()
    (root / "update" / "launcher.xml").write_bytes(b"<launcher/>\n")
    return root


@pytest.fixture(scope="module")
def running(root, certs):
    server = HttpsServer(root, certs).start()
    yield server
    server.stop()


@pytest.fixture
def server(running):
    running.clear_faults()
    running.clear_requests()
    running.limit_rate(None)
    return running


class Reply:
    def __init__(self, data, ended):
        head, _, self.body = data.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        self.status = int(lines[0].split()[1]) if lines[0] else None
        self.headers = {k.lower(): v.strip() for k, _, v in (line.partition(":") for line in lines[1:])}
        self.ended, self.received = ended, len(self.body)
        if self.headers.get("content-encoding") == "gzip":
            self.body = gzip.decompress(self.body)


def fetch(tls, port, path, method="GET", headers=None, silence=10.0):
    """One request on a connection of its own. The reply holds all that arrives until the
    server closes ("closed") or stays silent for `silence` seconds ("silent"), whatever
    Content-Length says."""
    lines = [f"{method} {path} HTTP/1.1", "Host: localhost", "Connection: close"]
    lines += [f"{name}: {value}" for name, value in (headers or {}).items()]
    with socket.create_connection(("localhost", port)) as raw, tls.wrap_socket(raw, server_hostname="localhost") as s:
        s.sendall("\r\n".join(lines + ["", ""]).encode())
        s.settimeout(silence)
        data = b""
        try:
            while chunk := s.recv(65536):
                data += chunk
        except TimeoutError:
            return Reply(data, "silent")
    return Reply(data, "closed")


def validators(tls, server, path=PACKAGE):
    reply = fetch(tls, server.port, path, "HEAD")
    return reply.headers["etag"], reply.headers["last-modified"]


@pytest.mark.parametrize("range_, if_range, status, span", [
    (None, None, 200, (0, SIZE)),
    ("bytes=1000-", None, 206, (1000, SIZE)),
    ("bytes=10-19", None, 206, (10, 20)),
    ("bytes=-5", None, 206, (SIZE - 5, SIZE)),
    (f"bytes=100-{2 * SIZE}", None, 206, (100, SIZE)),
    (f"bytes={SIZE}-", None, 416, None),
    ("bytes=0-1,5-6", None, 200, (0, SIZE)),  # several ranges: all of it
    ("bytes=9-3", None, 200, (0, SIZE)),
    ("bytes=1000-", "{etag}", 206, (1000, SIZE)),
    ("bytes=1000-", "{last_modified}", 206, (1000, SIZE)),
    ("bytes=1000-", '"stale"', 200, (0, SIZE)),
    ("bytes=1000-", "W/{etag}", 200, (0, SIZE)),  # a weak validator never matches
])
def test_ranges_and_if_range_as_a_resuming_client_sends_them(tls, server, range_, if_range, status, span):
    etag, last_modified = validators(tls, server)
    assert etag.startswith('"') and last_modified.endswith("GMT")
    headers = {"Range": range_} if range_ else {}
    if if_range:
        headers["If-Range"] = if_range.format(etag=etag, last_modified=last_modified)
    server.clear_requests()
    reply = fetch(tls, server.port, PACKAGE, headers=headers)
    assert reply.status == status
    assert int(reply.headers["content-length"]) == len(reply.body)
    if status == 416:
        assert reply.headers["content-range"] == f"bytes */{SIZE}"
    else:
        assert reply.body == DATA[span[0]:span[1]]
        assert server.bytes_sent(PACKAGE) == server.bytes_sent() == span[1] - span[0]
        assert reply.headers.get("content-range") == (f"bytes {span[0]}-{span[1] - 1}/{SIZE}" if status == 206 else None)
    [request] = server.requests()
    assert (request.method, request.path, request.range, request.if_range) == \
        ("GET", PACKAGE, range_, headers.get("If-Range"))


def test_head_and_keep_alive(tls, server):
    connection = http.client.HTTPSConnection("localhost", server.port, context=tls)
    connection.request("HEAD", PACKAGE)
    head = connection.getresponse()
    assert (head.status, head.read(), head.getheader("Content-Length")) == (200, b"", str(SIZE))
    socket_ = connection.sock
    connection.request("GET", PACKAGE, headers={"Range": "bytes=5-9"})
    part = connection.getresponse()
    assert (part.status, part.read(), part.getheader("ETag")) == (206, DATA[5:10], head.getheader("ETag"))
    assert connection.sock is socket_, "one connection for both"
    connection.close()
    assert [r.method for r in server.requests()] == ["HEAD", "GET"]
    assert server.bytes_sent() == 5


def test_a_changed_file_has_new_validators_and_its_old_if_range_gets_all_of_it(tls, server, root):
    path = root / "update" / "changing.bin"
    path.write_bytes(b"first version")
    etag, _ = validators(tls, server, "/update/changing.bin")
    path.write_bytes(b"second, longer version")
    reply = fetch(tls, server.port, "/update/changing.bin", headers={"Range": "bytes=6-", "If-Range": etag})
    assert (reply.status, reply.body) == (200, b"second, longer version")
    assert reply.headers["etag"] != etag


# mode, parameters, request headers, status, body (gzip decoded), how it ends, headers (None: absent)
FAULTS = [
    ("stall", {"at_byte": CUT}, {}, 200, DATA[:CUT], "silent", {"content-length": str(SIZE)}),
    ("stall", {"at": 0.25}, {"Range": "bytes=1000-"}, 206, DATA[1000:1000 + (SIZE - 1000) // 4], "silent", {}),
    ("stall", {"headers": 0}, {}, None, b"", "silent", {}),
    ("drop", {"at_byte": CUT}, {}, 200, DATA[:CUT], "closed", {"content-length": str(SIZE)}),
    ("drop", {"at": 0.5}, {"Range": "bytes=-1000"}, 206, DATA[-1000:-500], "closed", {}),
    ("status", {"code": 502}, {}, 502, b"502 Bad Gateway\n", "closed", {"etag": None}),
    ("status", {}, {}, 503, b"503 Service Unavailable\n", "closed", {}),
    ("ignore_range", {}, {"Range": "bytes=1000-"}, 200, DATA, "closed", {"accept-ranges": None}),
    ("redirect", {"to": "https://localhost:1/cdn{path}"}, {}, 302, b"moved\n", "closed",
     {"location": "https://localhost:1/cdn" + PACKAGE}),
    ("redirect_loop", {}, {}, 302, b"moved\n", "closed", {"location": PACKAGE + "?hop=1"}),
    ("long_body", {"extra": 10}, {}, 200, DATA + b"X" * 10, "closed", {"content-length": str(SIZE)}),
    ("short_body", {}, {}, 200, DATA, "closed", {"content-length": str(SIZE + 1024)}),
    ("html_200", {}, {"Range": "bytes=1000-"}, 200, HTML_ERROR, "closed", {"content-type": "text/html"}),
    ("huge_length", {}, {"Range": "bytes=1000-"}, 200, DATA, "closed", {"content-length": str(2**63)}),
    ("huge_length", {"length": 2**63 - 1}, {}, 200, DATA, "closed", {"content-length": str(2**63 - 1)}),
    ("gzip", {}, {"Range": "bytes=1000-"}, 200, DATA, "closed", {"content-encoding": "gzip"}),
]


@pytest.mark.parametrize("mode, params, headers, status, body, ended, expected_headers", FAULTS,
                         ids=[f"{row[0]}-{n}" for n, row in enumerate(FAULTS)])
def test_each_fault_as_a_client_sees_it_then_the_next_request_is_served(
        tls, server, mode, params, headers, status, body, ended, expected_headers):
    fault = server.fault("/launcher/*/*.zip", mode, times=1, **params)
    reply = fetch(tls, server.port, PACKAGE, headers=headers, silence=1.0 if ended == "silent" else 10.0)
    assert (reply.status, reply.ended) == (status, ended)
    assert reply.body == body
    for name, value in expected_headers.items():
        assert reply.headers.get(name) == value, name
    sent = server.bytes_sent(PACKAGE)
    assert fault.hits == 1 and sent == server.bytes_sent() == reply.received
    after = fetch(tls, server.port, PACKAGE)
    assert (after.status, after.body == DATA) == (200, True), "times=1: the fault is spent"
    assert server.bytes_sent() == sent + SIZE


@pytest.mark.parametrize("replacement, new_content", [(None, DATA[::-1]), ("rebuilt", b"rebuilt")],
                         ids=["reversed", "replaced"])
def test_change_between_makes_a_resume_with_if_range_start_over(tls, server, replacement, new_content):
    server.fault(PACKAGE, "change_between", **({"body": replacement} if replacement else {}))
    first = fetch(tls, server.port, PACKAGE)
    assert first.body == DATA
    resumed = fetch(tls, server.port, PACKAGE, headers={"Range": "bytes=1000-", "If-Range": first.headers["etag"]})
    assert (resumed.status, resumed.body) == (200, new_content)
    etag = resumed.headers["etag"]
    assert etag != first.headers["etag"] and resumed.headers["last-modified"] != first.headers["last-modified"]
    again = fetch(tls, server.port, PACKAGE, headers={"Range": "bytes=3-", "If-Range": etag})
    assert (again.status, again.body) == (206, new_content[3:])


def test_a_one_off_fault_lies_over_a_standing_one_and_patterns_match_paths_only(tls, server):
    server.fault("/launcher/*", "status", code=500)
    server.fault(PACKAGE, "status", times=1, code=404)
    assert [fetch(tls, server.port, PACKAGE + "?x=1").status for _ in range(2)] == [404, 500]
    assert fetch(tls, server.port, "/update/launcher.xml").status == 200
    server.clear_faults()
    assert fetch(tls, server.port, PACKAGE).status == 200


@pytest.mark.parametrize("shared", [False, True])
def test_a_slow_body_and_the_whole_server_limit_hold_the_rate(tls, server, shared):
    # Only a lower bound: pacing can make a transfer late, never early.
    rate, part = 200_000, 50_000
    if shared:
        server.limit_rate(rate)
    else:
        server.fault(PACKAGE, "slow", rate=rate // 2)
    replies, began = [], time.monotonic()
    fetches = [threading.Thread(target=lambda: replies.append(
        fetch(tls, server.port, PACKAGE, headers={"Range": f"bytes=0-{part - 1}"}))) for _ in range(2)]
    for thread in fetches:
        thread.start()
    for thread in fetches:
        thread.join()
    assert [r.body for r in replies] == [DATA[:part]] * 2
    assert time.monotonic() - began >= 0.45  # 100 kB at 200 kB/s, less the first chunk's


def test_stop_closes_a_stalled_and_an_idle_connection_and_unreachable_refuses_new_ones(tls, root, certs):
    server = HttpsServer(root, certs).start()
    server.fault(PACKAGE, "stall", at_byte=CUT)
    idle = http.client.HTTPSConnection("localhost", server.port, context=tls)
    idle.request("GET", "/update/launcher.xml")
    assert idle.getresponse().read() == b"<launcher/>\n"
    stalled = tls.wrap_socket(socket.create_connection(("localhost", server.port)), server_hostname="localhost")
    stalled.sendall(f"GET {PACKAGE} HTTP/1.1\r\nHost: localhost\r\n\r\n".encode())
    stalled.settimeout(10)
    assert stalled.recv(100).startswith(b"HTTP/1.1 200")
    with server.unreachable():
        with pytest.raises(ConnectionRefusedError):
            socket.create_connection(("localhost", server.port))
        while stalled.recv(65536):
            pass  # until the stalled connection closes; silence would time out
        idle.sock.settimeout(10)
        assert idle.sock.recv(1) == b"", "so was the idle one"
    assert fetch(tls, server.port, "/update/launcher.xml").status == 200
    server.stop()
    stalled.close()


@pytest.mark.parametrize("cert, refusal", [
    ("localhost", None),
    ("wrong-host", "Hostname mismatch"),
    ("expired", "certificate has expired"),
    ("untrusted", "unable to get local issuer certificate"),
])
def test_the_certificates_of_the_trust_tests(tls, root, certs, cert, refusal):
    server = HttpsServer(root, certs, cert=cert).start()
    try:
        if refusal is None:
            assert fetch(tls, server.port, "/update/launcher.xml").status == 200
        else:
            with pytest.raises(ssl.SSLCertVerificationError, match=refusal):
                fetch(tls, server.port, "/update/launcher.xml")
    finally:
        server.stop()


CURL = shutil.which("curl")


# fault (mode and parameters), curl's arguments, its exit code, the bytes it leaves in the file
@pytest.mark.skipif(not CURL, reason="no curl")
@pytest.mark.parametrize("fault, arguments, code, left", [
    (None, ["-C", "-"], 0, SIZE),  # resumes the 1000 bytes already there
    (("drop", {"at_byte": CUT}), [], 18, CUT),
    (("stall", {"at_byte": CUT}), ["--speed-limit", "100000", "--speed-time", "1"], 28, CUT),
    (("redirect_loop", {}), ["-L", "--max-redirs", "3"], 47, None),
], ids=["resume", "drop", "stall", "redirect_loop"])
def test_curl_against_the_faults(server, certs, tmp_path, fault, arguments, code, left):
    out = tmp_path / "game.zip"
    out.write_bytes(DATA[:CUT])
    if fault:
        server.fault(PACKAGE, fault[0], **fault[1])
    run = subprocess.run([CURL, "-sS", "--cacert", certs.ca_pem, "-o", out, *arguments, server.host + PACKAGE],
                         capture_output=True, timeout=30)
    assert run.returncode == code, run.stderr
    if left is not None:
        assert out.read_bytes() == DATA[:left]
    assert server.requests()[0].range == ("bytes=1000-" if "-C" in arguments else None)


def test_the_command_line_and_its_control_requests(root, tmp_path, tls):
    program = pathlib.Path(__file__).with_name("https_server.py")
    process = subprocess.Popen([sys.executable, program, root, "--certs", tmp_path, "--limit-rate", "100000000",
                                "--fault", f"{PACKAGE}=status:code=503,times=1"], stdout=subprocess.PIPE, text=True)
    try:
        host, ca = process.stdout.readline().split(" ", 1)
        port, cli_tls = int(host.rsplit(":", 1)[1]), ssl.create_default_context(cafile=ca.strip())

        def get(path, **kwargs):
            return fetch(cli_tls, port, path, **kwargs)

        assert [get(PACKAGE).status for _ in range(2)] == [503, 200]
        assert get(f"/_control/fault?{PACKAGE}=drop:at_byte=10").status == 200
        assert get(PACKAGE).body == DATA[:10]
        assert get("/_control/fault?/x=nonsense").status == 400
        stats = json.loads(get("/_control/stats").body)
        assert stats["total"] == stats["paths"][PACKAGE] == len(b"503 Service Unavailable\n") + SIZE + 10
        assert [(r["method"], r["path"], r["range"]) for r in stats["requests"]] == [("GET", PACKAGE, None)] * 3
        get("/_control/clear")
        assert json.loads(get("/_control/stats").body) == {"total": 0, "paths": {}, "requests": []}
        assert get(PACKAGE).body == DATA
    finally:
        process.terminate()
        process.wait()


@pytest.mark.skipif(not shutil.which("nginx"), reason="no nginx")
def test_nginx_serves_the_tree_with_packages_behind_a_cdn_redirect(root, certs, tls):
    nginx = Nginx(root, certs, cdn=True).start()
    try:
        moved = fetch(tls, nginx.port, PACKAGE)
        assert (moved.status, moved.headers["location"]) == (302, f"{nginx.host}/cdn{PACKAGE}")
        part = fetch(tls, nginx.port, f"/cdn{PACKAGE}", headers={"Range": "bytes=1000-"})
        assert (part.status, part.body) == (206, DATA[1000:])
        assert fetch(tls, nginx.port, "/update/launcher.xml").body == b"<launcher/>\n"
    finally:
        nginx.stop()
