"""Release trees for the sweep, made with the operators' tools: two game versions, the second
an update that drops a file, adds and changes whole files and patches a MIX archive; and
two launcher releases, told apart by their bytes. Signed copies of the game's trees serve a
build with a release key, the second with a higher serial than the first."""

import os
import shutil
import struct
import subprocess
from dataclasses import dataclass
from pathlib import Path

PUBLISH = os.environ.get("KESTRAVA_PUBLISH", "kestrava-publish")
MIXTOOL = os.environ.get("MIXTOOL", "mixtool")

# The driver's compiled-in kLauncherVersion, which is the project's.
OWN_LAUNCHER_VERSION = os.environ.get("KESTRAVA_LAUNCHER_VERSION", "1.0.1")
NEW_LAUNCHER_VERSION = OWN_LAUNCHER_VERSION + ".1"
LATEST = "2"
PATCH_PACKAGE = f"{LATEST}/patch-data.sounds.mix.zip"
WHOLE_PACKAGE = f"{LATEST}/files-maps.zip"


def fake_launcher(version, padding):
    """A file that passes as a Windows program (MZ, PE offset at 0x3C) and names its version
    where the driver looks for it."""
    head = b"MZ" + b"\0" * 58 + struct.pack("<I", 0x40) + b"PE\0\0"
    return head + f"Kestrava Launcher {version}\n".encode() + bytes(range(256)) * padding


def _run(tool, *args):
    result = subprocess.run([tool, *map(str, args)], capture_output=True, text=True)
    assert result.returncode == 0, f"{tool} {args}: {result.stderr}"
    return result.stdout


def _mix(path, entries, scratch):
    scratch.mkdir(parents=True)
    for name, data in entries.items():
        (scratch / name).write_bytes(data)
    _run(MIXTOOL, "create", path, *(scratch / name for name in entries))


def _build(folder, files, mix_entries):
    for name, data in files.items():
        (folder / name).parent.mkdir(parents=True, exist_ok=True)
        (folder / name).write_bytes(data)
    _mix(folder / "data" / "sounds.mix", mix_entries, folder.parent / (folder.name + "-mix"))
    return folder


@dataclass
class Releases:
    first_only: Path  # the tree while version 1 was the latest
    tree: Path  # versions 1 and 2, this launcher's own release
    self_update: Path  # the same game, a newer launcher announced
    latest_build: Path
    old_launcher: bytes
    new_launcher: bytes
    signed_first_only: Path
    signed_tree: Path
    release_key: str  # the public key, in hexadecimal


def make_releases(work):
    old_launcher = fake_launcher(OWN_LAUNCHER_VERSION, 4)
    new_launcher = fake_launcher(NEW_LAUNCHER_VERSION, 24)
    (work / "old.exe").write_bytes(old_launcher)
    (work / "new.exe").write_bytes(new_launcher)

    first = _build(work / "build-1", {
        "game.exe": b"game, first build",
        "data/rules.ini": b"[rules]\nspeed=1\n",
        "data/dropped.txt": b"gone in the second version",
        "maps/first.map": b"first map" * 30,
    }, {"a.wav": b"a" * 300, "b.wav": b"b" * 500, "c.wav": b"c" * 40})
    latest = _build(work / "build-2", {
        "game.exe": b"game, first build",
        "data/rules.ini": b"[rules]\nspeed=2\n",
        "maps/first.map": b"first map" * 30,
        "maps/second.map": b"second map" * 40,
    }, {"a.wav": b"a" * 300, "b.wav": b"B" * 700, "d.wav": b"d" * 90})

    tree = work / "tree"
    _run(PUBLISH, "add-version", tree, "1", first, "--full")
    _run(PUBLISH, "servers", tree, "Main=10.0.0.1:7777")
    _run(PUBLISH, "launcher", tree, OWN_LAUNCHER_VERSION, work / "old.exe")
    shutil.copytree(tree, work / "tree-1")
    _run(PUBLISH, "add-version", tree, LATEST, latest)
    for package in (PATCH_PACKAGE, WHOLE_PACKAGE):
        assert (tree / "launcher" / package).is_file(), f"the update publishes no {package}"

    self_update = work / "tree-self-update"
    shutil.copytree(tree, self_update)
    _run(PUBLISH, "launcher", self_update, NEW_LAUNCHER_VERSION, work / "new.exe")

    key = work / "release.key"
    public = _run(PUBLISH, "keygen", key).strip()
    signed_first, signed = work / "signed-1", work / "signed"
    shutil.copytree(work / "tree-1", signed_first)
    shutil.copytree(tree, signed)
    _run(PUBLISH, "sign", signed_first, "--key", key)
    for _ in range(2):  # a signing takes one past the tree's serial: the update's is higher
        _run(PUBLISH, "sign", signed, "--key", key)
    return Releases(work / "tree-1", tree, self_update, latest, old_launcher, new_launcher,
                    signed_first, signed, public)
