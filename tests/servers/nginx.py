"""Debian's nginx serving a release tree over HTTPS as localhost, as an operator would run
one; with cdn=True every package (*.zip) is a 302 to /cdn/..., another location of the
same server, the way a CDN takes them over."""
import os
import pathlib
import shutil
import socket
import subprocess
import tempfile
import time

_CONFIG = """daemon off;
{user}worker_processes 1;
pid {dir}/nginx.pid;
events {{ worker_connections 256; }}
http {{
    access_log {dir}/access.log;
    client_body_temp_path {dir}/body;
    proxy_temp_path {dir}/proxy;
    fastcgi_temp_path {dir}/fastcgi;
    uwsgi_temp_path {dir}/uwsgi;
    scgi_temp_path {dir}/scgi;
    default_type application/octet-stream;
    server {{
        listen 127.0.0.1:{port} ssl;
        server_name localhost;
        ssl_certificate {pem};
        ssl_certificate_key {key};
        root "{root}";
        location ^~ /cdn/ {{ alias "{root}/"; }}
{cdn}    }}
}}
"""
_CDN = "        location ~ \\.zip$ { return 302 /cdn$request_uri; }\n"


class Nginx:
    def __init__(self, root, certs, cdn=False, cert="localhost", directory=None):
        self.root = pathlib.Path(root).resolve()
        self._pem, self._key = certs.certificate(cert)
        self._cdn = cdn
        self._own_directory = directory is None
        self.directory = pathlib.Path(directory or tempfile.mkdtemp(prefix="kestrava-nginx-"))
        self._process = None
        self.port = None

    @property
    def host(self):
        return f"https://localhost:{self.port}"

    def start(self):
        self.directory.mkdir(parents=True, exist_ok=True)
        for _ in range(3):  # a free port can be taken between our look and nginx's bind
            self.port = _free_port()
            config = self.directory / "nginx.conf"
            config.write_text(_CONFIG.format(
                # As root, workers would drop to nobody, who cannot read a tree in a 0700 folder.
                user="user root;\n" if os.geteuid() == 0 else "", dir=self.directory, port=self.port,
                pem=self._pem, key=self._key, root=self.root, cdn=_CDN if self._cdn else ""))
            self._process = subprocess.Popen(
                ["nginx", "-c", config, "-p", self.directory, "-e", self.directory / "error.log"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if self._wait_listening():
                return self
        raise RuntimeError(f"nginx did not start: {(self.directory / 'error.log').read_text()}")

    def _wait_listening(self):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and self._process.poll() is None:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return True
            except OSError:
                time.sleep(0.05)
        self._process.kill()
        self._process.wait()
        return False

    def stop(self):
        if self._process and self._process.poll() is None:
            self._process.terminate()
            self._process.wait(10)
        if self._own_directory:
            shutil.rmtree(self.directory, ignore_errors=True)


def _free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]
