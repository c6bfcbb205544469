"""launcher.exe as players receive it: a 32-bit GUI program that needs no DLL beyond
Windows' own. Wine brings DLLs of its own (zlib1.dll among them), so running under wine
alone would not catch a dependency that a real Windows lacks. The 32-bit build is
checked on every host, also where only the 64-bit one runs; that one is checked too."""
import re
import subprocess

import pytest

from harness.windows_build import HELPERS, ROOT
from harness.windows_target import X86, running_target

WINDOWS_DLLS = {"advapi32.dll", "bcrypt.dll", "comctl32.dll", "crypt32.dll", "d3d9.dll", "gdi32.dll",
                "kernel32.dll", "msvcrt.dll", "ole32.dll", "rstrtmgr.dll", "secur32.dll", "shell32.dll",
                "shlwapi.dll", "user32.dll", "ws2_32.dll"}
CHECKED = sorted({X86, running_target()[0]}, key=lambda target: target.name)


def imported_dlls(build, executable):
    dump = subprocess.run([f"{build.target.triple}-objdump", "-p", str(executable)], check=True,
                          capture_output=True, text=True).stdout
    return {line.split()[-1].lower() for line in dump.splitlines() if "DLL Name:" in line}


@pytest.fixture(params=CHECKED, ids=lambda target: target.name)
def checked_build(request, builds):
    return builds(request.param)


def test_launcher_is_a_gui_program_using_only_windows_dlls(checked_build):
    kind = subprocess.run(["file", "-b", str(checked_build.launcher)], check=True,
                          capture_output=True, text=True).stdout
    assert kind.startswith(checked_build.target.file_kind), kind
    assert imported_dlls(checked_build, checked_build.launcher) <= WINDOWS_DLLS


def test_helpers_need_no_dll_beside_them(checked_build):
    for helper in HELPERS:
        assert imported_dlls(checked_build, checked_build.helper(helper)) <= WINDOWS_DLLS, helper


def test_properties_page_shows_the_project_version(build):
    version = re.search(r"project\(\w+ VERSION ([\d.]+)", (ROOT / "CMakeLists.txt").read_text()).group(1)
    resources = build.launcher.read_bytes()
    for name, value in (("FileVersion", version), ("ProductVersion", version), ("ProductName", "Kestrava"),
                        ("CompanyName", "Kestrava"), ("FileDescription", "Kestrava Launcher")):
        # A String entry: its key, NUL-terminated UTF-16, padded to 32 bits, then its value.
        entry = re.escape(name.encode("utf-16-le")) + b"\0\0(?:\0\0)?" + re.escape(value.encode("utf-16-le")) + b"\0\0"
        assert re.search(entry, resources), name
