"""A small game of our own making, published with the operator's tools: builds of a few
versions (whole files, deletions, a MIX archive that changes between versions) and the
tree the launcher downloads."""
import pathlib
import random
import shutil
import subprocess
import tempfile

from harness.windows_build import ROOT

NATIVE_TOOLS = ROOT / "build" / "native" / "tools"
PUBLISH = NATIVE_TOOLS / "publish" / "kestrava-publish"
MIXTOOL = NATIVE_TOOLS / "mixtool" / "mixtool"
INSTALL = NATIVE_TOOLS / "install" / "kestrava-install"


def build_tools():
    """The native kestrava-publish, mixtool and kestrava-install."""
    for command in (["cmake", "--preset", "native"],
                    ["cmake", "--build", "--preset", "native", "--target", "kestrava-publish", "mixtool",
                     "kestrava-install"]):
        subprocess.run(command, cwd=ROOT, check=True, capture_output=True)


def make_key(path):
    """A new release key pair: the secret key file at `path`, and the public key."""
    return run_tool(PUBLISH, "keygen", path).strip()


def sign(root, key, expires=None):
    """Signs the release tree under `root` as it stands, as an operator does."""
    root = pathlib.Path(root)
    if any((root / name).exists() for name in ("launcher/versions.xml", "launcher/servers.xml",
                                               "update/launcher.xml")):
        run_tool(PUBLISH, "sign", root, "--key", key, *(["--expires", expires] if expires is not None else []))


def run_tool(*args):
    result = subprocess.run([str(a) for a in args], capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(map(str, args))}: {result.stderr.strip()}")
    return result.stdout


def make_mix(path, entries):
    """A MIX archive holding `entries` (name to bytes), made with mixtool."""
    with tempfile.TemporaryDirectory() as scratch:
        files = []
        for name, content in entries.items():
            file = pathlib.Path(scratch) / name
            file.write_bytes(content)
            files.append(file)
        path.parent.mkdir(parents=True, exist_ok=True)
        run_tool(MIXTOOL, "create", path, *files)


def noise(seed, size):
    return random.Random(seed).randbytes(size)


# Each version is the whole game as its build folder holds it.
VERSIONS = {
    "1.0": {
        "data/readme.txt": b"Kestrava 1.0\r\n",
        "data/terrain.bin": noise(1, 96 * 1024),
        "data/legacy.txt": b"dropped in 1.1\r\n",
        "main.mix": {"units.ini": b"[scout]\r\nspeed=4\r\n", "map01.dat": noise(2, 80 * 1024),
                     "sounds.idx": noise(3, 4096)},
    },
    "1.1": {
        "data/readme.txt": b"Kestrava 1.1: faster scouts\r\n",
        "data/terrain.bin": noise(1, 96 * 1024),
        "main.mix": {"units.ini": b"[scout]\r\nspeed=5\r\n", "map01.dat": noise(2, 80 * 1024),
                     "sounds.idx": noise(3, 4096), "map02.dat": noise(4, 40 * 1024)},
    },
    "1.2": {
        "data/readme.txt": b"Kestrava 1.2: new lands\r\n",
        "data/terrain.bin": noise(5, 96 * 1024),
        "data/lands.txt": b"north, south\r\n",
        "main.mix": {"units.ini": b"[scout]\r\nspeed=5\r\n", "map01.dat": noise(2, 80 * 1024),
                     "sounds.idx": noise(3, 4096), "map02.dat": noise(6, 40 * 1024)},
    },
}


def write_build(directory, version, game_exe, files=None):
    """The build folder of `version` (its files, or those given), with the stand-in
    game.exe as its executable."""
    directory = pathlib.Path(directory)
    shutil.rmtree(directory, ignore_errors=True)
    directory.mkdir(parents=True)
    shutil.copy2(game_exe, directory / "game.exe")
    for name, content in (VERSIONS[version] if files is None else files).items():
        target = directory / name
        if isinstance(content, dict):
            make_mix(target, content)
        else:
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(content)
    return directory


def publish(root, versions, game_exe, scratch, full=("1.0",)):
    """Publishes `versions` in order under `root`; the ones in `full` as full versions."""
    for version in versions:
        build = write_build(pathlib.Path(scratch) / f"build-{version}", version, game_exe)
        args = [PUBLISH, "add-version", root, version, build] + (["--full"] if version in full else [])
        run_tool(*args)


def game_files(directory):
    """Relative path to bytes, for every file under `directory`."""
    directory = pathlib.Path(directory)
    return {p.relative_to(directory).as_posix(): p.read_bytes()
            for p in sorted(directory.rglob("*")) if p.is_file()}
