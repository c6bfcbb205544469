"""launcher.exe as players receive it: a 32-bit GUI program that needs no DLL beyond
Windows' own. Wine brings DLLs of its own (zlib1.dll among them), so running under wine
alone would not catch a dependency that a real Windows lacks."""
import subprocess

WINDOWS_DLLS = {"advapi32.dll", "comctl32.dll", "crypt32.dll", "d3d9.dll", "gdi32.dll",
                "kernel32.dll", "msvcrt.dll", "ole32.dll", "shell32.dll", "shlwapi.dll",
                "urlmon.dll", "user32.dll", "wininet.dll"}


def imported_dlls(executable):
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(executable)], check=True,
                          capture_output=True, text=True).stdout
    return {line.split()[-1].lower() for line in dump.splitlines() if "DLL Name:" in line}


def test_launcher_is_a_32_bit_gui_program_using_only_windows_dlls(build):
    kind = subprocess.run(["file", "-b", str(build.launcher)], check=True, capture_output=True,
                          text=True).stdout
    assert kind.startswith("PE32 executable (GUI) Intel 80386"), kind
    assert imported_dlls(build.launcher) <= WINDOWS_DLLS


def test_helpers_need_no_dll_beside_them(build):
    for helper in ("ui_driver.exe", "trust_ca.exe", "game.exe", "vc_redist.x64.exe"):
        assert imported_dlls(build.helper(helper)) <= WINDOWS_DLLS, helper
