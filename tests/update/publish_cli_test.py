"""kestrava-publish as operators use it: the commands, their output and exit codes."""

import hashlib
import os
import subprocess

PUBLISH = os.environ.get("KESTRAVA_PUBLISH", "kestrava-publish")


def run(*args):
    return subprocess.run([PUBLISH, *map(str, args)], capture_output=True, text=True)


def build(directory, files):
    for name, data in files.items():
        path = directory / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    return directory


def launcher_exe(path):
    path.write_bytes(b"MZ" + b"\0" * 58 + b"\x40\0\0\0" + b"PE\0\0")
    return path


def test_publish_verify_and_check(tmp_path):
    root = tmp_path / "root"
    v1 = build(tmp_path / "b1", {"game.exe": b"exe1", "data/a.ini": b"a"})
    v2 = build(tmp_path / "b2", {"game.exe": b"exe2", "data/b.ini": b"b"})
    assert run("add-version", root, "1.0", v1, "--full").returncode == 0
    assert run("add-version", root, "1.1", v2).returncode == 0
    assert run("launcher", root, "1.0.2", launcher_exe(tmp_path / "launcher.exe")).returncode == 0

    result = run("verify", root)
    assert result.returncode == 0, result.stdout + result.stderr
    assert result.stdout.splitlines() == ["install -> 1.1: ok", "update 1.0 -> 1.1: ok", "update 1.1 -> 1.1: ok",
                                          "store: ok", "launcher: ok"]

    manifest = root / "launcher" / "1.1" / "manifest.validate.xml"
    assert run("check", v2, manifest).stdout == "valid\n"
    assert run("check", v1, manifest).returncode == 1

    (root / "launcher" / "1.1" / "files.zip").write_bytes(b"damaged")
    exe2 = hashlib.sha256(b"exe2").hexdigest().upper()
    (root / "launcher" / "store" / exe2[:2] / f"{exe2}.zip").unlink()
    (root / "update" / "launcher.exe").write_bytes(b"MZ other")
    result = run("verify", root)
    assert result.returncode == 1
    lines = result.stdout.splitlines()
    assert "update 1.0 -> 1.1: FAILED: Install Failure: The package files.zip could not be unpacked" in result.stdout
    assert lines[-2] == f"store: FAILED: launcher/store/{exe2[:2]}/{exe2}.zip for game.exe of version 1.1 is missing"
    assert lines[-1].startswith("launcher: FAILED: update/launcher.exe holds 8 bytes")


def test_refusals_are_one_line_with_a_nonzero_exit(tmp_path):
    root = tmp_path / "root"
    v1 = build(tmp_path / "b1", {"a": b"a"})
    assert run("add-version", root, "1", v1).returncode == 0
    result = run("add-version", root, "1", v1)
    assert result.returncode == 1
    assert result.stderr == "kestrava-publish: version 1 is already published\n"
    result = run("add-version", root, "STORE", v1)
    assert (result.returncode, result.stderr) == (
        1, 'kestrava-publish: "STORE" cannot name a version: the launcher folder uses that name itself\n')
    assert run("verify", tmp_path / "empty").returncode == 1
    assert run("servers", root, "no-equals-sign").returncode == 2
    assert run("frobnicate").returncode == 2
    assert run("launcher", root, "1.0.2", tmp_path / "b1" / "a").returncode == 1


def test_servers_and_launcher_release(tmp_path):
    root = tmp_path / "root"
    assert run("servers", root, "Main=10.0.0.1:7777", "Test=test.example:1").returncode == 0
    assert (root / "launcher" / "servers.xml").read_text() == (
        '<Servers>\n    <Server Name="Main" IP="10.0.0.1:7777"/>\n'
        '    <Server Name="Test" IP="test.example:1"/>\n</Servers>\n')
    exe = launcher_exe(tmp_path / "launcher.exe")
    assert run("launcher", root, "1.0.2", exe).returncode == 0
    digest = hashlib.sha256(exe.read_bytes()).hexdigest().upper()
    assert (root / "update" / "launcher.xml").read_text() == f'<Version Current="1.0.2" size="68" sha256="{digest}"/>\n'
    assert (root / "update" / "launcher.exe").read_bytes() == exe.read_bytes()


def test_keygen_sign_and_verify(tmp_path):
    key = tmp_path / "release.key"
    result = run("keygen", key)
    public = result.stdout.strip()
    assert result.returncode == 0 and len(public) == 64, result.stderr
    assert key.stat().st_mode & 0o777 == 0o600
    assert run("keygen", key).returncode == 1, "a key is never overwritten"
    other = run("keygen", tmp_path / "other.key").stdout.strip()

    root = tmp_path / "root"
    assert run("add-version", root, "1.0", build(tmp_path / "b1", {"game.exe": b"exe1"}), "--full",
               "--key", key).returncode == 0
    assert run("launcher", root, "1.0.2", launcher_exe(tmp_path / "launcher.exe")).returncode == 0
    assert run("sign", root, "--key", key, "--expires", "30").returncode == 0
    signature = (root / "launcher" / "versions.xml.sig").read_text()
    assert signature.startswith(public + " ") and (root / "update" / "launcher.xml.sig").exists()
    assert 'Expires="' in (root / "launcher" / "versions.xml").read_text()

    result = run("verify", root, "--key", public)
    assert result.returncode == 0, result.stdout
    assert result.stdout.splitlines()[-1] == "signatures: ok"
    result = run("verify", root, "--key", other)
    assert result.returncode == 1
    assert "launcher/versions.xml has no valid signature by the key given" in result.stdout

    (root / "launcher" / "1.0" / "files.zip").write_bytes(b"damaged")
    result = run("verify", root, "--key", public)
    assert result.stdout.splitlines()[-1] == (
        "signatures: FAILED: launcher/1.0/files.zip differs from its signed SHA-256 or size")
    assert run("sign", root).returncode == 2, "signing needs a key"
