"""A Windows build of launcher.exe and its test helpers whose servers are the local ones."""
import pathlib
import subprocess

ROOT = pathlib.Path(__file__).resolve().parents[2]
HOST_VARIABLES = ("KESTRAVA_LAUNCHER_HOST", "KESTRAVA_UPDATE_HOST",
                  "KESTRAVA_RUNTIME_HOST", "KESTRAVA_ACCOUNT_HOST")


class WindowsBuild:
    def __init__(self, binary_dir):
        self.binary_dir = pathlib.Path(binary_dir)

    @property
    def launcher(self):
        return self.binary_dir / "src" / "launcher.exe"

    def helper(self, name):
        return self.binary_dir / "tests" / "win32" / name


def build_for_hosts(hosts, binary_dir=ROOT / "build" / "windows-e2e"):
    """Configures and builds the Windows preset with every endpoint at `hosts`
    (a dict of cache variable to host, or one host for all)."""
    if isinstance(hosts, str):
        hosts = {name: hosts for name in HOST_VARIABLES}
    definitions = [f"-D{name}={value}" for name, value in hosts.items()]
    for command in (["cmake", "--preset", "windows", "-B", str(binary_dir), *definitions],
                    ["cmake", "--build", str(binary_dir)]):
        result = subprocess.run(command, cwd=ROOT, capture_output=True, text=True)
        if result.returncode != 0:
            raise RuntimeError(f"{' '.join(command)} failed:\n{result.stdout}\n{result.stderr}")
    return WindowsBuild(binary_dir)
