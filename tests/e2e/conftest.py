import pathlib
import re
import shutil
import sys
import tempfile

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))

from harness import sample_game  # noqa: E402
from harness.display import XvfbDisplay, screenshot  # noqa: E402
from harness.launcher import LauncherInstall  # noqa: E402
from harness.ui import Ui  # noqa: E402
from harness.windows_build import HOST_VARIABLES, ROOT, build_for_hosts  # noqa: E402
from harness.windows_target import describe, running_target  # noqa: E402
from harness.wine import WinePrefix  # noqa: E402
from servers.account_service import AccountService  # noqa: E402
from servers.certs import make_certificates  # noqa: E402
from servers.https_server import HttpsServer  # noqa: E402

ARTIFACTS = ROOT / "build" / "e2e-artifacts"


MAIN_WINDOW = "Kestrava Launcher"


def pytest_report_header(config):
    return describe()


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
def account_server(run_dir, certs):
    """The account API on a port of its own, so a test can make it unreachable alone."""
    server = HttpsServer(run_dir / "www", certs)
    server.handlers[AccountService.PATH] = AccountService()
    server.start()
    yield server
    server.stop()


@pytest.fixture
def account(account_server):
    service = account_server.handlers[AccountService.PATH]
    service.reset()
    account_server.clear_requests()
    return service


@pytest.fixture(scope="session")
def tools():
    sample_game.build_tools()


@pytest.fixture(scope="session")
def release_keys(run_dir, tools):
    """Two release keys, as operators make them: the build accepts both, and the release
    is signed by the first unless a test rotates to the second."""
    return [(run_dir / f"release-{n}.key", sample_game.make_key(run_dir / f"release-{n}.key"))
            for n in (1, 2)]


@pytest.fixture(scope="session")
def builds(run_dir, server, account_server, release_keys):
    """The Windows build of a target, made on first use: the one that runs here, and the
    players' 32-bit one, which is checked even where it cannot run."""
    hosts = {name: server.host for name in HOST_VARIABLES}
    hosts["KESTRAVA_ACCOUNT_HOST"] = account_server.host
    keys = [public for _, public in release_keys]
    made = {}

    def build_of(target):
        if target not in made:
            made[target] = build_for_hosts(hosts, run_dir / f"programs{target.suffix}", target,
                                           release_keys=keys)
        return made[target]
    return build_of


@pytest.fixture(scope="session")
def build(builds):
    return builds(running_target()[0])


@pytest.fixture(scope="session")
def display():
    display = XvfbDisplay()
    yield display
    display.stop()


@pytest.fixture(scope="session")
def prefix(run_dir, display, build, certs):
    prefix = WinePrefix(run_dir / "wineprefix", display.name, build.target).create()
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


class Release:
    """The files the test servers publish, written by each test for itself. The operator
    signs the tree as it stands whenever the launcher starts, unless a test signs it
    itself (to tamper with it afterwards) and turns that off."""

    def __init__(self, root, keys):
        self.root = root
        self.keys = keys
        self.auto_sign = True

    def sign(self, key=0, expires=None):
        sample_game.sign(self.root, self.keys[key][0], expires)

    def write(self, relative, content):
        path = self.root / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content.encode("latin-1") if isinstance(content, str) else content)
        return path

    def _signed(self):
        if self.auto_sign:
            self.sign()

    def launcher_version(self, version):
        self.write("update/launcher.xml", f'<Version Current="{version}"/>')
        self._signed()

    def catalogue(self, current):
        self.write("launcher/versions.xml", f'<Versions Current="{current}"><Version Value="{current}" Type="Full"/></Versions>')
        self._signed()

    def servers(self, *servers):
        entries = "".join(f'<Server Name="{name}" IP="{address}"/>' for name, address in servers)
        self.write("launcher/servers.xml", f"<Servers>{entries}</Servers>")
        self._signed()


@pytest.fixture
def release(server, release_keys):
    # A test's faults and rate limits end with it.
    server.clear_faults()
    server.limit_rate(None)
    for child in server.root.iterdir():
        shutil.rmtree(child) if child.is_dir() else child.unlink()
    return Release(server.root, release_keys)


@pytest.fixture
def published(release, build, tools, tmp_path):
    """A release of the sample game: the runtime installer, servers, and the versions asked for."""
    release.launcher_version("1.0.1")
    shutil.copy2(build.helper("vc_redist.x64.exe"), release.write("vs/17/release/vc_redist.x64.exe", b""))
    sample_game.run_tool(sample_game.PUBLISH, "servers", release.root, "Alpha=10.0.0.1:7777",
                         "Bravo=10.0.0.2:7777")

    def publish(*versions, full=("1.0",)):
        sample_game.publish(release.root, versions, build.helper("game.exe"), tmp_path / "builds", full)
        return release.root / "launcher"
    return publish


@pytest.fixture
def install(tmp_path, build, prefix, server, account, release):
    """A fresh install directory; both servers start the test with empty logs."""
    server.clear_requests()
    install = LauncherInstall(tmp_path / "install", build, prefix)
    start = install.start

    def signed_start():
        if release.auto_sign:
            release.sign()
        return start()
    install.start = signed_start
    yield install
    install.kill()


@pytest.fixture
def signed_in(install, account, ui):
    """Starts the launcher with a stored key that the account service knows, and waits
    for the main window unless told not to. Returns the user."""
    def sign_in(name="Pilot", key="KEY-pilot-0001", permissions=(), wait=True):
        user = account.add_user(name, "hunter2", key, permissions)
        install.config_txt.write_bytes(key.encode("latin-1"))
        install.start()
        if wait:
            ui.wait(MAIN_WINDOW)
        return user
    return sign_in


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    """A failing test leaves a screenshot of what was on the display."""
    outcome = yield
    report = outcome.get_result()
    if report.when == "call" and report.failed and "install" in item.funcargs:
        display = item._request.getfixturevalue("display")
        screenshot(display.name, ARTIFACTS / re.sub(r"[^\w.-]+", "_", item.name) / "failure.png")
