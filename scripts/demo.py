"""The whole job on local servers: publishes a sample game of our own making (a full
version and two updates, one carrying a MIX patch, and three servers), signs it with a
release key of the demo's own, serves it and an account service over HTTPS, and runs
launcher.exe, built to accept only that key, against them. On your display you
drive it; on a virtual one the demo signs in, installs, updates and plays by itself and
keeps screenshots and a summary."""
import os
import pathlib
import shutil
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests"))

from harness import sample_game  # noqa: E402
from harness.display import XvfbDisplay, screenshot  # noqa: E402
from harness.launcher import LauncherInstall  # noqa: E402
from harness.ui import Ui  # noqa: E402
from harness.windows_build import HOST_VARIABLES, build_for_hosts  # noqa: E402
from harness.windows_target import describe, running_target  # noqa: E402
from harness.wine import WinePrefix  # noqa: E402
from servers.account_service import AccountService  # noqa: E402
from servers.certs import make_certificates  # noqa: E402
from servers.https_server import HttpsServer  # noqa: E402

DEMO = ROOT / "build" / "demo"
DEMO_USER, DEMO_PASSWORD = "demo", "demo"
MAIN_WINDOW = "Kestrava Launcher"
BUTTON, STATUS, SERVER_LIST = 1011, 1012, 1013
SERVERS = ("Kestrel Ridge=play1.kestrava.test:7777", "Dusk Valley=play2.kestrava.test:7777",
           "Amber Coast=play3.kestrava.test:7777")


def say(text):
    print(f"demo: {text}", flush=True)


class Demo:
    def __init__(self):
        self.started = time.monotonic()
        self.summary = []
        self.shots = 0

    def note(self, text):
        self.summary.append(text)
        say(text)

    def elapsed(self):
        return f"{time.monotonic() - self.started:.1f} s"


def publish_release(release, build, versions, key):
    shutil.rmtree(release, ignore_errors=True)
    (release / "update").mkdir(parents=True)
    (release / "update" / "launcher.xml").write_text('<Version Current="1.0.1"/>')
    (release / "vs" / "17" / "release").mkdir(parents=True)
    shutil.copy2(build.helper("vc_redist.x64.exe"), release / "vs" / "17" / "release")
    sample_game.run_tool(sample_game.PUBLISH, "servers", release, *SERVERS)
    sample_game.publish(release, versions, build.helper("game.exe"), DEMO / "builds")
    sample_game.sign(release, key)


def wait_for_button(ui, caption):
    ui.wait_for_enabled(MAIN_WINDOW, BUTTON, caption)


def run_worker(demo, ui, install, done):
    """Presses the main button and waits for the worker to bring back "&Play"."""
    step = time.monotonic()
    ui.click(MAIN_WINDOW, BUTTON)
    wait_for_button(ui, "&Play")
    demo.note(f"{done} {(install.directory / 'version.xml').read_text().strip()} in "
              f"{time.monotonic() - step:.1f} s")


def drive(demo, ui, display, install, release, build, key):
    """What a player would do, done by the demo itself, with a screenshot of each step."""
    def shot(name):
        demo.shots += 1
        path = screenshot(display.name, DEMO / f"{demo.shots}-{name}.png")
        demo.note(f"  screenshot {path.name}")

    launched = time.monotonic()
    install.start()
    ui.wait("Login")
    demo.note(f"first window (login dialog) {time.monotonic() - launched:.1f} s after launcher.exe "
              f"started, {demo.elapsed()} after the demo did (servers, build, wine prefix)")
    shot("login")
    ui.type("Login", 1015, DEMO_USER)
    ui.type("Login", 1018, DEMO_PASSWORD)
    ui.click("Login", 1017)
    ui.wait(MAIN_WINDOW)
    demo.note(f"signed in as {ui.text(MAIN_WINDOW, 1016)!r}; the main button reads {ui.text(MAIN_WINDOW, BUTTON)!r}")
    shot("install")

    run_worker(demo, ui, install, "installed")
    demo.note(f"servers {ui.combo_items(MAIN_WINDOW, SERVER_LIST)}")
    shot("installed")
    ui.close(MAIN_WINDOW)
    install.wait_exit()

    publish_release(release, build, ["1.0", "1.1", "1.2"], key)
    demo.note("published and signed update 1.2 (a MIX patch for main.mix); starting the launcher again")
    install.start()
    ui.wait(MAIN_WINDOW)
    demo.note(f"the main button reads {ui.text(MAIN_WINDOW, BUTTON)!r}")
    shot("update")
    run_worker(demo, ui, install, "updated to")
    ui.select_combo(MAIN_WINDOW, SERVER_LIST, 0)
    ui.click(MAIN_WINDOW, BUTTON)
    log = install.game_dir / "game.exe.log"
    deadline = time.monotonic() + 20
    while not log.exists() and time.monotonic() < deadline:
        time.sleep(0.2)
    shot("playing")
    demo.note(f"game.exe started with: {log.read_bytes().decode('latin-1').splitlines()[0]}")
    ui.close(MAIN_WINDOW)
    return install.wait_exit()


def main():
    demo = Demo()
    demo.note(describe())
    target = running_target()[0]
    shutil.rmtree(DEMO / "install", ignore_errors=True)
    for old in DEMO.glob("*.png"):
        old.unlink()
    release = DEMO / "release"
    release.mkdir(parents=True, exist_ok=True)

    certs = make_certificates(DEMO / "certs")
    files = HttpsServer(release, certs).start()
    accounts = HttpsServer(release, certs)
    service = AccountService()
    service.add_user(DEMO_USER, DEMO_PASSWORD, "DEMO-KEY-0001")
    accounts.handlers[AccountService.PATH] = service
    accounts.start()
    say(f"serving {release} at {files.host}, the account service at {accounts.host}")

    say("building the operator's tools and a release key, then launcher.exe for the local "
        "servers and that key")
    sample_game.build_tools()
    key = DEMO / "release.key"
    key.unlink(missing_ok=True)  # the demo's own, made afresh like its install
    public_key = sample_game.make_key(key)
    hosts = {name: files.host for name in HOST_VARIABLES}
    hosts["KESTRAVA_ACCOUNT_HOST"] = accounts.host
    build = build_for_hosts(hosts, DEMO / "programs", target, "windows-demo", release_keys=[public_key])
    demo.note(f"release key {public_key}: launcher.exe installs only what it signed")

    virtual = None if os.environ.get("DISPLAY") else XvfbDisplay()
    display_name = virtual.name if virtual else os.environ["DISPLAY"]
    prefix = WinePrefix(DEMO / f"wineprefix{target.suffix}", display_name, target)
    say(f"preparing the wine prefix {prefix.path}")
    prefix.create()
    prefix.trust_ca(build.helper("trust_ca.exe"), certs.ca_der)

    install = LauncherInstall(DEMO / "install", build, prefix)
    ui = Ui(prefix, build.helper("ui_driver.exe"), timeout_ms=60000)
    try:
        if virtual is None:
            publish_release(release, build, ["1.0", "1.1", "1.2"], key)
            install.start()
            say(f"launcher.exe runs on {display_name}: sign in as {DEMO_USER!r} with password "
                f"{DEMO_PASSWORD!r}; close it to end the demo")
            code = install.process.wait()
        else:
            publish_release(release, build, ["1.0", "1.1"], key)
            demo.note("published and signed the sample game: 1.0 (full) and 1.1 (a MIX patch), "
                      "three servers")
            code = drive(demo, ui, virtual, install, release, build, key)
        demo.note(f"launcher.exe exited with code {code}")
        demo.note(f"requests: {len(files.requests())} to the file server, "
                  f"{len(accounts.requests())} to the account service")
    finally:
        install.kill()
        prefix.shutdown()
        files.stop()
        accounts.stop()
        if virtual is not None:
            virtual.stop()
    demo.note(f"total {demo.elapsed()}")
    (DEMO / "summary.txt").write_text("\n".join(demo.summary) + "\n")
    say(f"summary and screenshots in {DEMO}")


if __name__ == "__main__":
    main()
