"""A throw-away certificate authority and the server certificates the tests serve.

"localhost" is the one every client trusts; the trust tests' others are made on demand,
reusing its key: "wrong-host" (for wrong.example), "expired" (localhost, ended in 2020)
and "untrusted" (localhost, from a second CA that no client is told to trust).

Wine matches certificates by host name, so the servers are reached as localhost,
never 127.0.0.1.
"""
import pathlib
import subprocess
import threading

# name: (host, issuing authority, validity: days from now or (start, end))
CERTIFICATES = {
    "localhost": ("localhost", "ca", 7),
    "wrong-host": ("wrong.example", "ca", 7),
    "expired": ("localhost", "ca", ("20200101000000Z", "20200201000000Z")),
    "untrusted": ("localhost", "untrusted-ca", 7),
}

# `openssl ca`, unlike `x509 -req`, sets dates in the past; it wants a database.
_CA_CONFIG = """[ca]
default_ca = test
[test]
database = index.txt
new_certs_dir = .
rand_serial = yes
unique_subject = no
default_md = sha256
policy = policy
[policy]
commonName = supplied
"""


class TestCertificates:
    def __init__(self, directory):
        d = pathlib.Path(directory).resolve()
        self.directory = d
        self.ca_key = d / "ca.key"
        self.ca_pem = d / "ca.pem"
        self.ca_der = d / "ca.der"
        self.server_key = d / "server.key"
        self.server_pem = d / "server.pem"
        self._made = {"localhost": self.server_pem}
        self._lock = threading.Lock()

    def certificate(self, name="localhost"):
        """(certificate, key) files of one of CERTIFICATES, made at the first call."""
        with self._lock:
            if name not in self._made:
                host, authority, validity = CERTIFICATES[name]
                if authority != "ca" and not (self.directory / f"{authority}.pem").exists():
                    _authority(self.directory, authority, "Kestrava Untrusted CA")
                self._made[name] = _sign(self, self.directory / f"{name}.pem", host, authority, validity)
            return self._made[name], self.server_key


def _openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, capture_output=True)


def _authority(d, name, subject):
    _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "7",
             "-subj", f"/CN={subject}", "-keyout", f"{name}.key", "-out", f"{name}.pem",
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=d)


def _sign(certs, out, host, authority, validity):
    d = certs.directory
    database = d / f"{authority}-db"
    if not database.exists():
        database.mkdir()
        (database / "index.txt").touch()
        (database / "ca.cnf").write_text(_CA_CONFIG)
    csr = database / f"{out.stem}.csr"
    _openssl("req", "-new", "-key", certs.server_key, "-subj", f"/CN={host}", "-out", csr, cwd=d)
    extensions = database / f"{out.stem}.ext"
    extensions.write_text("basicConstraints=CA:FALSE\n"
                          "keyUsage=critical,digitalSignature,keyEncipherment\n"
                          "extendedKeyUsage=serverAuth\n"
                          f"subjectAltName=DNS:{host}\n")
    dates = ["-days", str(validity)] if isinstance(validity, int) else \
        ["-startdate", validity[0], "-enddate", validity[1]]
    _openssl("ca", "-batch", "-notext", "-config", "ca.cnf", "-cert", d / f"{authority}.pem",
             "-keyfile", d / f"{authority}.key", "-in", csr, "-out", out, "-extfile", extensions,
             *dates, cwd=database)
    return out


def make_certificates(directory):
    """Creates a CA and a localhost certificate signed by it in `directory`."""
    certs = TestCertificates(directory)
    d = certs.directory
    d.mkdir(parents=True, exist_ok=True)
    _authority(d, "ca", "Kestrava Test CA")
    _openssl("x509", "-in", certs.ca_pem, "-outform", "DER", "-out", certs.ca_der, cwd=d)
    _openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", certs.server_key, cwd=d)
    _sign(certs, certs.server_pem, *CERTIFICATES["localhost"])
    return certs
