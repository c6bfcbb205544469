"""An HTTPS server for the launcher's tests and the demo (standard library only).

It serves a folder as static files under the URL paths the launcher fetches
("/launcher/...", "/update/...", "/vs/17/release/...") and records every request
(path and query) so tests can assert on what the launcher asked for. Extra handlers
can claim a path prefix (the account service does).
"""
import argparse
import http.server
import pathlib
import posixpath
import ssl
import threading
import urllib.parse


class Request:
    def __init__(self, path, query):
        self.path = path
        self.query = query

    def __repr__(self):
        return f"Request({self.path!r}, {self.query!r})"


class _Handler(http.server.BaseHTTPRequestHandler):
    server_version = "KestravaTest/1.0"
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        parts = urllib.parse.urlsplit(self.path)
        path = urllib.parse.unquote(parts.path)
        self.server.owner._record(Request(path, parts.query))
        for prefix, handler in self.server.owner.handlers.items():
            if path.startswith(prefix):
                status, body, content_type = handler(path, parts.query)
                return self._send(status, body, content_type)
        return self._send(*self.server.owner.static_response(path))

    def _send(self, status, body, content_type):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, format, *args):
        if self.server.owner.verbose:
            super().log_message(format, *args)


class HttpsServer:
    """Serves `root` over HTTPS on localhost; port 0 picks a free one."""

    def __init__(self, root, certs, port=0, verbose=False):
        self.root = pathlib.Path(root).resolve()
        self.handlers = {}
        self.verbose = verbose
        self._requests = []
        self._lock = threading.Lock()
        self._certs = certs
        self._port = port
        self._thread = None
        self._listen()

    def _listen(self):
        self._httpd = http.server.ThreadingHTTPServer(("127.0.0.1", self._port), _Handler)
        self._httpd.owner = self
        self._httpd.daemon_threads = True
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self._certs.server_pem, self._certs.server_key)
        self._httpd.socket = context.wrap_socket(self._httpd.socket, server_side=True)
        self._port = self._httpd.server_address[1]

    @property
    def port(self):
        return self._port

    @property
    def host(self):
        return f"https://localhost:{self.port}"

    def start(self):
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self._httpd.shutdown()
        self._httpd.server_close()

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

    def requests(self):
        with self._lock:
            return list(self._requests)

    def clear_requests(self):
        with self._lock:
            self._requests.clear()

    def _record(self, request):
        with self._lock:
            self._requests.append(request)

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


def main():
    from certs import make_certificates  # run as a script from this folder

    parser = argparse.ArgumentParser(description="Serve a release folder over HTTPS on localhost.")
    parser.add_argument("root", help="folder served at /")
    parser.add_argument("--certs", required=True, help="folder for the throw-away CA and certificate")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    certs = make_certificates(args.certs)
    server = HttpsServer(args.root, certs, args.port, verbose=True).start()
    print(f"serving {server.root} at {server.host} (CA: {certs.ca_pem})", flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        server.stop()


if __name__ == "__main__":
    main()
