"""Signed releases in the real launcher, whose build accepts two keys. Every other test
here installs and updates releases that kestrava-publish signed; these sign the tree
themselves and then tamper with it, replay it or let it expire: each is refused with
the installation left byte for byte as it was."""
import pytest

from conftest import MAIN_WINDOW
from harness import sample_game
from test_update import BUTTON, STATUS, SERVER_LIST, preinstall, wait_for_button

NOT_VERIFIED = "Download Not Verified"


def snapshot(install):
    """What a refusal must leave as it was: the game, the record, the kept list and the
    launcher (the accepted catalogue and its serial may be new)."""
    kept = ("version.xml", "launcher.exe", "work/installed.validate.xml")
    files = sample_game.game_files(install.directory)
    return {name: data for name, data in files.items() if name.startswith("game/") or name in kept}


def refused(ui, shot, name):
    body = ui.message_box(NOT_VERIFIED, timeout_ms=60000)
    shot(name)
    ui.press(NOT_VERIFIED)
    ui.wait_gone(NOT_VERIFIED)
    return body


TAMPERED = {
    "package": "launcher/1.1/files-data.zip",
    "patch": "launcher/1.1/patch-main.mix.zip",
    "manifest": "launcher/1.1/manifest.xml",
    "validation list": "launcher/1.1/manifest.validate.xml",
    "catalogue": "launcher/versions.xml",
    "launcher": "update/launcher.exe",
    "server list": "launcher/servers.xml",
}


@pytest.mark.parametrize("document", TAMPERED)
def test_a_file_changed_after_signing_is_refused_and_nothing_changes(
        signed_in, install, published, release, build, ui, shot, tmp_path, document):
    published("1.0")
    preinstall(install, build, "1.0", tmp_path)
    if document == "launcher":
        release.launcher_version("1.0.2")
        release.write("update/launcher.exe", build.launcher.read_bytes() + b"\0release 1.0.2\0")
    elif document != "server list":
        published("1.1")
    release.sign()
    release.auto_sign = False
    # Still well-formed, so only the proof can tell.
    path = release.root / TAMPERED[document]
    path.write_bytes(path.read_bytes() + b"\n<!-- tampered -->\n")
    before = snapshot(install)

    signed_in(wait=document != "catalogue")
    if document == "server list":
        assert ui.text(MAIN_WINDOW, BUTTON) == "&Play"
        assert ui.combo_items(MAIN_WINDOW, SERVER_LIST) == []
        assert ui.text(MAIN_WINDOW, STATUS) == "Could not load the server list"
    else:
        if document != "catalogue":
            ui.click(MAIN_WINDOW, BUTTON)
        body = refused(ui, shot, "refused")
        assert "not signed by Kestrava; nothing was changed" in body, body
    install.kill()
    assert snapshot(install) == before


@pytest.mark.parametrize("stale", ["replayed", "expired"])
def test_an_older_or_expired_catalogue_is_refused(signed_in, install, published, release, ui, shot, stale):
    published("1.0")
    install.mark_installed("1.0")
    catalogue = release.root / "launcher" / "versions.xml"
    release.sign(expires=0 if stale == "expired" else None)
    release.auto_sign = False
    if stale == "replayed":
        older = {p: p.read_bytes() for p in (catalogue, catalogue.with_name("versions.xml.sig"))}
        release.sign()
        signed_in()  # the opening accepts the newer signing and remembers its serial
        ui.close(MAIN_WINDOW)
        install.wait_exit()
        for path, data in older.items():
            path.write_bytes(data)
    signed_in(wait=False)
    body = refused(ui, shot, stale)
    reason = {"replayed": "older release than this launcher has already seen",
              "expired": "signature has expired"}[stale]
    assert f"{reason}; nothing was changed" in body, body
    assert (install.directory / "version.xml").read_text() == '<Version Current="1.0"/>'


def test_a_release_signed_by_the_second_key_installs(signed_in, install, published, release, ui):
    published("1.0")
    release.sign(key=1)
    release.auto_sign = False
    assert (release.root / "launcher" / "versions.xml.sig").read_text().startswith(release.keys[1][1])
    signed_in()
    ui.click(MAIN_WINDOW, BUTTON)
    wait_for_button(ui, "&Play")
    assert (install.directory / "version.xml").read_text() == '<Version Current="1.0"/>\n'
