"""An HTTPS server for the launcher's tests, benches and the demo (standard library only).

It serves a folder as static files under the URL paths the launcher fetches
("/launcher/...", "/update/...", "/vs/17/release/..."): strong ETag and Last-Modified,
one byte range a request (If-Range honoured, 416 past the end), HEAD, keep-alive, one
thread a connection, bodies streamed in chunks. It records every request (method, path,
query, Range, If-Range) and counts the body bytes it sends per path. Extra handlers can
claim a path prefix (the account service does); one that answers None leaves the path
to the static files.

Faults are set at run time per path pattern (fnmatch on the path, `*` crosses "/"), for
every request or only the next `times`: server.fault("/launcher/2/*.zip", "stall", at=0.4).
faults.MODES lists the modes and their parameters. server.limit_rate(bytes_per_second)
caps what all connections send together.

As a program:
    python3 tests/servers/https_server.py ROOT --certs DIR [--port P] [--cert NAME]
        [--limit-rate BPS] [--fault PATTERN=MODE[:k=v,...]]... [--verbose]
prints "HOST CA_PEM" as its first line and serves until killed. It answers GET requests
under /_control/, which are neither recorded, counted nor faulted:
    /_control/stats               {"total": N, "paths": {path: N}, "requests": [{...}]}
    /_control/fault?FAULT         adds a fault written as for --fault
    /_control/clear               forgets the faults, requests and byte counts
    /_control/limit-rate?BPS      the cap on the whole server (0: none)
"""
import argparse
import collections
import fnmatch
import http.client
import http.server
import json
import pathlib
import posixpath
import select
import socket
import ssl
import sys
import threading
import urllib.parse

if __name__ == "__main__":  # run as a program: reach the siblings as the package they are
    sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))

from servers.bodies import CHUNK, BytesBody, FileBody, changed, gzipped, select_range  # noqa: E402
from servers.faults import Fault, Faults, Pace, parse_fault  # noqa: E402

CONTROL = "/_control/"
HTML_ERROR = b"<html><head><title>502 Bad Gateway</title></head>\n<body><h1>502 Bad Gateway</h1></body></html>\n"
# Modes that answer with all of the file whatever Range asks.
_WHOLE = {"ignore_range", "gzip", "huge_length"}
# Modes after which the connection closes, as the body it advertised is not the one it sent.
_CLOSING = {"drop", "long_body", "short_body", "huge_length"}


class Request:
    def __init__(self, path, query, method="GET", range=None, if_range=None):
        self.path = path
        self.query = query
        self.method = method
        self.range = range
        self.if_range = if_range

    def __repr__(self):
        return f"Request({self.method} {self.path!r}, {self.query!r}, range={self.range!r}, if_range={self.if_range!r})"


class _Server(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        # Clients that leave mid-answer or refuse the certificate are what the tests arrange.
        if not isinstance(sys.exc_info()[1], OSError):
            super().handle_error(request, client_address)


class _Handler(http.server.BaseHTTPRequestHandler):
    server_version = "KestravaTest/1.0"
    protocol_version = "HTTP/1.1"

    def setup(self):
        # The handshake runs on the connection's own thread, so a client that stalls in it or
        # refuses the certificate holds up no other.
        self.request.settimeout(10)
        self.request.do_handshake()
        self.request.settimeout(None)
        super().setup()
        with self.server.owner._lock:
            self.server.owner._connections.add(self.request)

    def finish(self):
        super().finish()
        with self.server.owner._lock:
            self.server.owner._connections.discard(self.request)

    def do_GET(self):
        self._respond()

    def do_HEAD(self):
        self._respond()

    def _respond(self):
        owner = self.server.owner
        parts = urllib.parse.urlsplit(self.path)
        path = self._path = urllib.parse.unquote(parts.path)
        if owner.control and path.startswith(CONTROL):
            self._path = None
            status, body, content_type = owner.control(path, parts.query)
            return self._send(status, {"Content-Type": content_type}, BytesBody(body))
        owner._record(Request(path, parts.query, self.command, self.headers.get("Range"),
                              self.headers.get("If-Range")))
        fault, earlier = owner._faults.take(path)
        answer = _fault_answer(fault, path, parts.query)
        if answer:
            status, headers, body = answer
            return self._send(status, headers, BytesBody(body))
        for prefix, handler in list(owner.handlers.items()):
            if path.startswith(prefix):
                answer = handler(path, parts.query)
                if answer is not None:
                    status, body, content_type = answer
                    return self._send(status, {"Content-Type": content_type}, BytesBody(body), fault=fault)
                break
        file = owner._resolve(path)
        if file is None:
            return self._send(404, {"Content-Type": "text/plain"}, BytesBody(b"not found\n"), fault=fault)
        body = FileBody(file)
        if fault and fault.mode == "change_between" and earlier:
            body = changed(body, fault.params.get("body"))
        ranges = not (fault and fault.mode in _WHOLE)
        status, start, end = select_range(body, self.headers.get("Range") if ranges else None,
                                          self.headers.get("If-Range"))
        headers = {"Content-Type": "application/octet-stream", "ETag": body.etag,
                   "Last-Modified": body.last_modified, "Accept-Ranges": "bytes" if ranges else None}
        if status == 206:
            headers["Content-Range"] = f"bytes {start}-{end - 1}/{body.size}"
        elif status == 416:
            headers["Content-Range"] = f"bytes */{body.size}"
            body, start, end = BytesBody(b"range not satisfiable\n"), 0, None
            headers["Content-Type"] = "text/plain"
        self._send(status, headers, body, start, end, fault)

    def _send(self, status, headers, body, start=0, end=None, fault=None):
        mode, params = (fault.mode, fault.params) if fault else (None, {})
        end = body.size if end is None else end
        paces = [self.server.owner._limit] if self.server.owner._limit else []
        if mode == "slow":
            paces.append(Pace(params.get("rate", 65536)))
        chunk = min([pace.chunk for pace in paces] + [CHUNK])
        length, chunks = end - start, body.chunks(start, end, chunk)
        if mode == "gzip":
            headers["Content-Encoding"] = "gzip"
            length, chunks = gzipped(body, start, end, chunk)
        advertised, stop = length, length
        if mode in ("stall", "drop"):
            stop = fault.cutoff(length)
        elif mode == "long_body":
            stop += int(params.get("extra", 1024))
            chunks = _padded(chunks, stop - length)
        elif mode == "short_body":
            advertised += int(params.get("missing", 1024))
        elif mode == "huge_length":
            advertised = int(params.get("length", 2**63))
        if mode == "stall" and not params.get("headers", 1):
            return self._stall()
        self.send_response(status)
        for name, value in headers.items():
            if value is not None:
                self.send_header(name, value)
        self.send_header("Content-Length", str(advertised))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        if self.command == "HEAD":
            return
        sent = self._write(chunks, stop, paces)
        if mode == "stall":
            self._stall()
        elif mode in _CLOSING or sent != advertised:
            self.close_connection = True

    def _write(self, chunks, limit, paces):
        """Sends the chunks up to `limit` bytes at the paces' rates; how many bytes went."""
        owner, sent = self.server.owner, 0
        try:
            for data in chunks:
                data = data[:limit - sent]
                if not data:
                    break
                for pace in paces:
                    if owner._stopping.wait(pace.delay(len(data))):
                        return sent
                self.wfile.write(data)
                sent += len(data)
                owner._count(self._path, len(data))
        except OSError:
            pass  # the client went away
        return sent

    def _stall(self):
        """Keeps the connection open and silent until the client leaves or the server stops."""
        self.close_connection = True
        while not self.server.owner._stopping.is_set():
            try:
                readable, _, _ = select.select([self.connection], [], [], 0.2)
                if readable and not self.connection.recv(65536):
                    return
            except (OSError, ValueError):
                return

    def log_message(self, format, *args):
        if self.server.owner.verbose:
            super().log_message(format, *args)


def _padded(chunks, extra):
    yield from chunks
    yield b"X" * extra


def _fault_answer(fault, path, query):
    """(status, headers, body) of a fault that answers in place of the resource, else None."""
    mode = fault.mode if fault else None
    code = int(fault.params.get("code", 503 if mode == "status" else 302)) if fault else None
    if mode == "status":
        return code, {"Content-Type": "text/plain"}, f"{code} {http.client.responses.get(code, 'Fault')}\n".encode()
    if mode == "redirect":
        location = fault.params["to"].replace("{path}", urllib.parse.quote(path))
        return code, {"Location": location, "Content-Type": "text/plain"}, b"moved\n"
    if mode == "redirect_loop":
        hop = int(dict(urllib.parse.parse_qsl(query)).get("hop", 0)) + 1
        return code, {"Location": f"{urllib.parse.quote(path)}?hop={hop}", "Content-Type": "text/plain"}, b"moved\n"
    if mode == "html_200":
        return 200, {"Content-Type": "text/html"}, HTML_ERROR
    return None


class HttpsServer:
    """Serves `root` over HTTPS on localhost; port 0 picks a free one. `cert` names the
    certificate it presents (certs.CERTIFICATES)."""

    def __init__(self, root, certs, port=0, verbose=False, cert="localhost"):
        self.root = pathlib.Path(root).resolve()
        self.handlers = {}
        self.verbose = verbose
        self.control = None  # the /_control/ handler, when run as a program
        self._requests = []
        self._sent = collections.Counter()
        self._faults = Faults()
        self._limit = None
        self._connections = set()
        self._lock = threading.Lock()
        self._certificate = certs.certificate(cert)
        self._port = port
        self._thread = None
        self._listen()

    def _listen(self):
        self._stopping = threading.Event()
        self._httpd = _Server(("127.0.0.1", self._port), _Handler)
        self._httpd.owner = self
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*self._certificate)
        self._httpd.socket = context.wrap_socket(self._httpd.socket, server_side=True,
                                                 do_handshake_on_connect=False)
        self._port = self._httpd.server_address[1]

    @property
    def port(self):
        return self._port

    @property
    def host(self):
        return f"https://localhost:{self.port}"

    def start(self):
        # A short poll, so that stop() (and unreachable()) return at once.
        self._thread = threading.Thread(target=self._httpd.serve_forever, args=(0.05,), daemon=True)
        self._thread.start()
        return self

    def stop(self):
        """Stops listening and closes every open connection, stalled or idle."""
        self._stopping.set()
        if self._thread:
            self._httpd.shutdown()
            self._thread = None
        self._httpd.server_close()
        with self._lock:
            connections = list(self._connections)
        for connection in connections:
            try:
                # The plain socket's shutdown: the TLS one would pull the session from under
                # the thread still using it.
                socket.socket.shutdown(connection, socket.SHUT_RDWR)
            except OSError:
                pass

    def unreachable(self):
        """Context manager: nothing listens on the port while it is active."""
        server = self

        class _Closed:
            def __enter__(self):
                server.stop()

            def __exit__(self, *exc):
                server._listen()
                server.start()

        return _Closed()

    def fault(self, pattern, mode, times=None, **params):
        """Makes requests whose path matches `pattern` fail as `mode` (faults.MODES) says,
        all of them or the next `times`. Returns the fault; its `hits` counts its requests."""
        return self._faults.add(Fault(pattern, mode, times, **params))

    def clear_faults(self):
        self._faults.clear()

    def limit_rate(self, bytes_per_second):
        """Caps the body bytes all connections send together; None or 0 lifts the cap."""
        self._limit = Pace(bytes_per_second) if bytes_per_second else None

    def bytes_sent(self, pattern=None):
        """Body bytes sent for paths matching `pattern` (fnmatch), or for all."""
        with self._lock:
            return sum(n for path, n in self._sent.items() if pattern is None or fnmatch.fnmatchcase(path, pattern))

    def requests(self):
        with self._lock:
            return list(self._requests)

    def clear_requests(self):
        """Forgets the requests and the byte counts."""
        with self._lock:
            self._requests.clear()
            self._sent.clear()

    def _record(self, request):
        with self._lock:
            self._requests.append(request)

    def _count(self, path, size):
        if path is not None:
            with self._lock:
                self._sent[path] += size

    def static_response(self, path):
        """(status, body, content type) of the file at a URL path, as served without a handler."""
        file = self._resolve(path)
        if file is None:
            return 404, b"not found\n", "text/plain"
        return 200, file.read_bytes(), "application/octet-stream"

    def _resolve(self, path):
        # Normalise first so that no request can reach outside the root.
        relative = posixpath.normpath("/" + path).lstrip("/")
        candidate = (self.root / relative).resolve()
        if candidate != self.root and self.root not in candidate.parents:
            return None
        return candidate if candidate.is_file() else None


class _Control:
    """The /_control/ requests, for clients that cannot call the server's methods."""

    def __init__(self, server):
        self.server = server

    def __call__(self, path, query):
        server, action, argument = self.server, path[len(CONTROL):], urllib.parse.unquote(query)
        try:
            if action == "stats":
                with server._lock:
                    stats = {"total": sum(server._sent.values()), "paths": dict(server._sent),
                             "requests": [vars(r) for r in server._requests]}
                return 200, json.dumps(stats).encode(), "application/json"
            if action == "fault":
                server._faults.add(parse_fault(argument))
            elif action == "clear":
                server.clear_faults()
                server.clear_requests()
            elif action == "limit-rate":
                server.limit_rate(int(argument))
            else:
                return 404, b"no such control\n", "text/plain"
        except ValueError as error:
            return 400, f"{error}\n".encode(), "text/plain"
        return 200, b"ok\n", "text/plain"


def main():
    from servers.certs import CERTIFICATES, make_certificates

    parser = argparse.ArgumentParser(description="Serve a release folder over HTTPS on localhost.")
    parser.add_argument("root", help="folder served at /")
    parser.add_argument("--certs", required=True, help="folder for the throw-away CA and certificate")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--cert", choices=sorted(CERTIFICATES), default="localhost")
    parser.add_argument("--limit-rate", type=int, metavar="BPS", help="cap on all connections' bytes a second")
    parser.add_argument("--fault", type=parse_fault, action="append", default=[],
                        metavar="PATTERN=MODE[:k=v,...]", help="e.g. '/launcher/*.zip=drop:at=0.4,times=1'")
    parser.add_argument("--verbose", action="store_true", help="log every request on stderr")
    args = parser.parse_args()
    certs = make_certificates(args.certs)
    server = HttpsServer(args.root, certs, args.port, verbose=args.verbose, cert=args.cert)
    server.control = _Control(server)
    for fault in args.fault:
        server._faults.add(fault)
    server.limit_rate(args.limit_rate)
    server.start()
    print(server.host, certs.ca_pem, flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        server.stop()


if __name__ == "__main__":
    main()
