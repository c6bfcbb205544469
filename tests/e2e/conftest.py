import pathlib
import re
import shutil
import sys
import tempfile

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))

from harness.display import XvfbDisplay, screenshot  # noqa: E402
from harness.launcher import LauncherInstall  # noqa: E402
from harness.ui import Ui  # noqa: E402
from harness.windows_build import ROOT, build_for_hosts  # noqa: E402
from harness.wine import WinePrefix  # noqa: E402
from servers.certs import make_certificates  # noqa: E402
from servers.https_server import HttpsServer  # noqa: E402

ARTIFACTS = ROOT / "build" / "e2e-artifacts"


@pytest.fixture(scope="session")
def run_dir():
    path = pathlib.Path(tempfile.mkdtemp(prefix="kestrava-e2e-"))
    yield path
    shutil.rmtree(path, ignore_errors=True)


@pytest.fixture(scope="session")
def certs(run_dir):
    return make_certificates(run_dir / "certs")


@pytest.fixture(scope="session")
def server(run_dir, certs):
    root = run_dir / "www"
    root.mkdir()
    server = HttpsServer(root, certs).start()
    yield server
    server.stop()


@pytest.fixture(scope="session")
def build(server):
    return build_for_hosts(server.host)


@pytest.fixture(scope="session")
def display():
    display = XvfbDisplay()
    yield display
    display.stop()


@pytest.fixture(scope="session")
def prefix(run_dir, display, build, certs):
    prefix = WinePrefix(run_dir / "wineprefix", display.name).create()
    prefix.trust_ca(build.helper("trust_ca.exe"), certs.ca_der)
    yield prefix
    prefix.shutdown()


@pytest.fixture(scope="session")
def ui(prefix, build):
    return Ui(prefix, build.helper("ui_driver.exe"))


@pytest.fixture
def artifacts(request):
    path = ARTIFACTS / re.sub(r"[^\w.-]+", "_", request.node.name)
    shutil.rmtree(path, ignore_errors=True)
    path.mkdir(parents=True)
    return path


@pytest.fixture
def shot(display, artifacts):
    """Saves a screenshot of the display into the test's artefact folder."""
    def take(name):
        return screenshot(display.name, artifacts / f"{name}.png")
    return take


@pytest.fixture
def install(tmp_path, build, prefix, server):
    server.clear_requests()
    install = LauncherInstall(tmp_path / "install", build, prefix)
    yield install
    install.kill()
