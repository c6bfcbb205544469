"""Serves a release from local HTTPS servers and runs launcher.exe against them."""
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
from harness.windows_build import build_for_hosts  # noqa: E402
from harness.wine import WinePrefix  # noqa: E402
from servers.certs import make_certificates  # noqa: E402
from servers.https_server import HttpsServer  # noqa: E402

DEMO = ROOT / "build" / "demo"


def say(text):
    print(f"demo: {text}", flush=True)


def main():
    started = time.monotonic()
    shutil.rmtree(DEMO / "install", ignore_errors=True)
    release = DEMO / "release"
    release.mkdir(parents=True, exist_ok=True)

    certs = make_certificates(DEMO / "certs")
    server = HttpsServer(release, certs).start()
    say(f"serving {release} at {server.host}")

    say("building launcher.exe for the local servers")
    build = build_for_hosts(server.host, DEMO / "programs", ROOT / "build" / "windows-demo")

    display = None if os.environ.get("DISPLAY") else XvfbDisplay()
    display_name = display.name if display else os.environ["DISPLAY"]
    prefix = WinePrefix(DEMO / "wineprefix", display_name)
    say(f"preparing the wine prefix {prefix.path}")
    prefix.create()
    prefix.trust_ca(build.helper("trust_ca.exe"), certs.ca_der)

    install = LauncherInstall(DEMO / "install", build, prefix)
    ui = Ui(prefix, build.helper("ui_driver.exe"))
    try:
        install.start()
        ui.wait("Login")
        say(f"first window after {time.monotonic() - started:.1f} s")
        if display is None:
            say(f"launcher.exe runs on {display_name}; close it to end the demo")
            code = install.process.wait()
        else:
            shot = screenshot(display.name, DEMO / "login.png")
            say(f"screenshot of the login dialog: {shot}")
            ui.close("Login")
            code = install.wait_exit()
        say(f"launcher.exe exited with code {code}; {len(server.requests())} requests served")
    finally:
        install.kill()
        prefix.shutdown()
        server.stop()
        if display is not None:
            display.stop()
    say(f"total {time.monotonic() - started:.1f} s")


if __name__ == "__main__":
    main()
