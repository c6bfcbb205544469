"""A Windows build of launcher.exe, kestrava-install.exe and the test helpers whose servers
are the local ones."""
import fcntl
import pathlib
import shutil
import subprocess

ROOT = pathlib.Path(__file__).resolve().parents[2]
HOST_VARIABLES = ("KESTRAVA_LAUNCHER_HOST", "KESTRAVA_UPDATE_HOST",
                  "KESTRAVA_RUNTIME_HOST", "KESTRAVA_ACCOUNT_HOST")
HELPERS = ("ui_driver.exe", "trust_ca.exe", "game.exe", "game_next.exe", "vc_redist.x64.exe",
           "taskbar_recorder.dll", "file_holder.exe")


class WindowsBuild:
    """launcher.exe and the helpers, copied out of the build tree for one run."""

    def __init__(self, directory, target):
        self.directory = pathlib.Path(directory)
        self.target = target

    @property
    def launcher(self):
        return self.directory / "launcher.exe"

    def helper(self, name):
        return self.directory / name


def build_for_hosts(hosts, output_dir, target, folder="windows-e2e", release_keys=()):
    """Configures and builds the target's Windows preset in build/<folder><suffix> with
    every endpoint at `hosts` (a dict of cache variable to host, or one host for all)
    and the public `release_keys` (none: a developer build), and copies the programs to
    `output_dir`. Runs that build at the same time take
    turns, and each keeps its own copies, so one run's servers never end up in another's
    launcher."""
    if isinstance(hosts, str):
        hosts = {name: hosts for name in HOST_VARIABLES}
    definitions = [f"-D{name}={value}" for name, value in hosts.items()]
    definitions.append(f"-DKESTRAVA_RELEASE_KEYS={';'.join(release_keys)}")
    binary_dir = ROOT / "build" / f"{folder}{target.suffix}"
    binary_dir.mkdir(parents=True, exist_ok=True)
    with open(binary_dir.parent / f".{binary_dir.name}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        for command in (["cmake", "--preset", target.preset, "-B", str(binary_dir), *definitions],
                        ["cmake", "--build", str(binary_dir)]):
            result = subprocess.run(command, cwd=ROOT, capture_output=True, text=True)
            if result.returncode != 0:
                raise RuntimeError(f"{' '.join(command)} failed:\n{result.stdout}\n{result.stderr}")
        output_dir = pathlib.Path(output_dir)
        output_dir.mkdir(parents=True, exist_ok=True)
        shutil.copy2(binary_dir / "src" / "launcher.exe", output_dir)
        for helper in HELPERS:
            shutil.copy2(binary_dir / "tests" / "win32" / helper, output_dir)
        shutil.copy2(binary_dir / "tools" / "install" / "kestrava-install.exe", output_dir)
    return WindowsBuild(output_dir, target)
