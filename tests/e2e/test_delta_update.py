"""Updates whose patches carry deltas, published with `kestrava-publish --delta`: a MIX
entry edited in place and the game's next build of game.exe arrive as deltas, rebuild
byte for byte and validate; a delta that does not rebuild its file is repaired from the
store."""
import io
import shutil
import zipfile

from conftest import MAIN_WINDOW
from harness import sample_game

BUTTON = 1011
ART = sample_game.noise(11, 600 * 1024)


def edited(data, at, patch):
    return data[:at] + patch + data[at + len(patch):]


BUILDS = {
    "1.0": ("game.exe", {"readme.txt": b"Kestrava 1.0\r\n",
                         "main.mix": {"art.shp": ART, "units.ini": b"[scout]\r\nspeed=4\r\n"}}),
    "1.1": ("game_next.exe", {"readme.txt": b"Kestrava 1.1\r\n",
                              "main.mix": {"art.shp": edited(edited(ART, 1000, b"moved"), 400000, b"lit"),
                                           "units.ini": b"[scout]\r\nspeed=4\r\n"}}),
}


def write(build, version, tmp_path):
    exe, files = BUILDS[version]
    return sample_game.write_build(tmp_path / f"build-{version}", version, build.helper(exe), files)


def publish_with_deltas(release, build, tmp_path, install):
    """1.0 installed, 1.1 published over it with deltas."""
    first = write(build, "1.0", tmp_path)
    sample_game.run_tool(sample_game.PUBLISH, "add-version", release.root, "1.0", first, "--full")
    shutil.copytree(first, install.game_dir)
    install.mark_installed("1.0")
    (install.directory / "redist.txt").write_bytes(b"")
    sample_game.run_tool(sample_game.PUBLISH, "add-version", release.root, "1.1", write(build, "1.1", tmp_path),
                         "--delta")
    return release.root / "launcher" / "1.1"


def update(signed_in, ui, server):
    signed_in()
    assert ui.text(MAIN_WINDOW, BUTTON) == "&Update"
    server.clear_requests()
    ui.click(MAIN_WINDOW, BUTTON)
    ui.wait_for_enabled(MAIN_WINDOW, BUTTON, "&Play", timeout=90)
    return [r.path for r in server.requests()]


def test_deltas_for_a_mix_entry_and_game_exe_install_byte_equal(signed_in, install, release, published, build,
                                                               ui, server, shot, tmp_path):
    published()
    folder = publish_with_deltas(release, build, tmp_path, install)
    manifest = (folder / "manifest.xml").read_text()
    assert 'name="game.exe" checksum=' in manifest and 'patch="game.exe.delta"' in manifest
    with zipfile.ZipFile(folder / "patch-main.mix.zip") as package:
        patch = package.read("main.mix.patch")
    assert b'"deltaFiles":["art.shp"]' in patch and b'"version":2' in patch
    # The packages carry the changed bytes, not the files.
    assert (folder / "patch-main.mix.zip").stat().st_size < len(ART) // 20
    assert (folder / "patch-game.exe.zip").stat().st_size < build.helper("game_next.exe").stat().st_size // 4

    fetched = update(signed_in, ui, server)
    shot("updated")
    expected = sample_game.game_files(tmp_path / "build-1.1")
    assert sample_game.game_files(install.game_dir) == expected
    assert "/launcher/1.1/patch-game.exe.zip" in fetched and "/launcher/1.1/patch-main.mix.zip" in fetched
    assert not [p for p in fetched if "/store/" in p], "nothing needed a repair"
    assert (install.directory / "version.xml").read_text() == '<Version Current="1.1"/>\n'


def test_a_corrupt_delta_ends_in_a_repaired_valid_folder(signed_in, install, release, published, build, ui,
                                                         server, tmp_path):
    published()
    folder = publish_with_deltas(release, build, tmp_path, install)
    package = folder / "patch-game.exe.zip"
    with zipfile.ZipFile(package) as original:
        delta = bytearray(original.read("game.exe.delta"))
    delta[-1] ^= 0x40  # the last frame's last byte: found only once the file is rebuilt
    rewritten = io.BytesIO()
    with zipfile.ZipFile(rewritten, "w") as out:
        out.writestr("game.exe.delta", bytes(delta))
    package.write_bytes(rewritten.getvalue())  # the release is signed again as it stands

    fetched = update(signed_in, ui, server)
    assert sample_game.game_files(install.game_dir) == sample_game.game_files(tmp_path / "build-1.1")
    assert [p for p in fetched if "/store/" in p], "game.exe came from the store"
    assert not (install.directory / "work" / "patched.mix").exists()
