"""A throw-away certificate authority and a server certificate for "localhost".

Wine matches certificates by host name, so the servers are reached as localhost,
never 127.0.0.1.
"""
import pathlib
import subprocess


class TestCertificates:
    def __init__(self, directory):
        d = pathlib.Path(directory)
        self.directory = d
        self.ca_key = d / "ca.key"
        self.ca_pem = d / "ca.pem"
        self.ca_der = d / "ca.der"
        self.server_key = d / "server.key"
        self.server_pem = d / "server.pem"


def _openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, capture_output=True)


def make_certificates(directory):
    """Creates a CA and a localhost certificate signed by it in `directory`."""
    certs = TestCertificates(directory)
    d = certs.directory
    d.mkdir(parents=True, exist_ok=True)
    _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "7",
             "-subj", "/CN=Kestrava Test CA", "-keyout", certs.ca_key, "-out", certs.ca_pem,
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=d)
    _openssl("x509", "-in", certs.ca_pem, "-outform", "DER", "-out", certs.ca_der, cwd=d)
    csr = d / "server.csr"
    _openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
             "-keyout", certs.server_key, "-out", csr, cwd=d)
    extensions = d / "server.ext"
    extensions.write_text("basicConstraints=CA:FALSE\n"
                          "keyUsage=critical,digitalSignature,keyEncipherment\n"
                          "extendedKeyUsage=serverAuth\n"
                          "subjectAltName=DNS:localhost\n")
    _openssl("x509", "-req", "-in", csr, "-CA", certs.ca_pem, "-CAkey", certs.ca_key,
             "-CAcreateserial", "-days", "7", "-extfile", extensions, "-out", certs.server_pem, cwd=d)
    return certs
