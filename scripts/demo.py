"""Serves a release and an account service from local HTTPS servers and runs
launcher.exe against them: on your display for you to use, or on a virtual one where
the demo signs in by itself and keeps screenshots."""
import os
import pathlib
import shutil
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests"))

from harness.display import XvfbDisplay, screenshot  # noqa: E402
from harness.launcher import LauncherInstall  # noqa: E402
from harness.ui import Ui  # noqa: E402
from harness.windows_build import HOST_VARIABLES, build_for_hosts  # noqa: E402
from harness.wine import WinePrefix  # noqa: E402
from servers.account_service import AccountService  # noqa: E402
from servers.certs import make_certificates  # noqa: E402
from servers.https_server import HttpsServer  # noqa: E402

DEMO = ROOT / "build" / "demo"
DEMO_USER, DEMO_PASSWORD = "demo", "demo"
MAIN_WINDOW = "Kestrava Launcher"


def say(text):
    print(f"demo: {text}", flush=True)


def publish(release):
    shutil.rmtree(release, ignore_errors=True)
    (release / "update").mkdir(parents=True)
    (release / "update" / "launcher.xml").write_text('<Version Current="1.0.1"/>')


def drive(ui, display, summary, started):
    """What a player would do, done by the demo itself, with a screenshot of each step."""
    ui.wait("Login")
    summary.append(f"first window (login) after {time.monotonic() - started:.1f} s")
    summary.append(f"screenshot: {screenshot(display.name, DEMO / '1-login.png')}")
    ui.type("Login", 1015, DEMO_USER)
    ui.type("Login", 1018, DEMO_PASSWORD)
    ui.click("Login", 1017)
    ui.wait(MAIN_WINDOW)
    summary.append(f"signed in as {ui.text(MAIN_WINDOW, 1016)!r}; main button "
                   f"{ui.text(MAIN_WINDOW, 1011)!r}; status {ui.text(MAIN_WINDOW, 1012)!r}")
    summary.append(f"screenshot: {screenshot(display.name, DEMO / '2-main-window.png')}")
    ui.close(MAIN_WINDOW)


def main():
    started = time.monotonic()
    shutil.rmtree(DEMO / "install", ignore_errors=True)
    release = DEMO / "release"
    publish(release)

    certs = make_certificates(DEMO / "certs")
    files = HttpsServer(release, certs).start()
    accounts = HttpsServer(release, certs)
    service = AccountService()
    service.add_user(DEMO_USER, DEMO_PASSWORD, "DEMO-KEY-0001")
    accounts.handlers[AccountService.PATH] = service
    accounts.start()
    say(f"serving {release} at {files.host}, the account service at {accounts.host}")

    say("building launcher.exe for the local servers")
    hosts = {name: files.host for name in HOST_VARIABLES}
    hosts["KESTRAVA_ACCOUNT_HOST"] = accounts.host
    build = build_for_hosts(hosts, DEMO / "programs", ROOT / "build" / "windows-demo")

    virtual = None if os.environ.get("DISPLAY") else XvfbDisplay()
    display_name = virtual.name if virtual else os.environ["DISPLAY"]
    prefix = WinePrefix(DEMO / "wineprefix", display_name)
    say(f"preparing the wine prefix {prefix.path}")
    prefix.create()
    prefix.trust_ca(build.helper("trust_ca.exe"), certs.ca_der)

    install = LauncherInstall(DEMO / "install", build, prefix)
    ui = Ui(prefix, build.helper("ui_driver.exe"), timeout_ms=30000)
    summary = []
    try:
        install.start()
        if virtual is None:
            say(f"launcher.exe runs on {display_name}: sign in as {DEMO_USER!r} with password "
                f"{DEMO_PASSWORD!r}; close it to end the demo")
            code = install.process.wait()
        else:
            drive(ui, virtual, summary, started)
            code = install.wait_exit()
        summary.append(f"launcher.exe exited with code {code}")
        summary.append(f"requests: {len(files.requests())} to the file server, "
                       f"{len(accounts.requests())} to the account service")
    finally:
        install.kill()
        prefix.shutdown()
        files.stop()
        accounts.stop()
        if virtual is not None:
            virtual.stop()
    summary.append(f"total {time.monotonic() - started:.1f} s")
    (DEMO / "summary.txt").write_text("\n".join(summary) + "\n")
    for line in summary:
        say(line)
    say(f"summary: {DEMO / 'summary.txt'}")


if __name__ == "__main__":
    main()
