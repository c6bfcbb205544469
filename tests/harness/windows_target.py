"""Which Windows build the tests and the demo run, and under which wine. Players get the
32-bit launcher.exe, so that one runs wherever this host can run 32-bit code; some
kernels run 64-bit code only, and there the same sources built for 64-bit Windows run
under 64-bit wine. KESTRAVA_WINDOWS_TARGET=x86|x64|auto overrides the choice."""
import functools
import os
import subprocess
from dataclasses import dataclass


@dataclass(frozen=True)
class WindowsTarget:
    name: str
    preset: str
    triple: str
    file_kind: str   # how file(1) describes the launcher
    wine: str        # Debian's /usr/bin/wine picks the 32-bit loader whenever it is installed
    wineserver: str
    winearch: str

    @property
    def suffix(self):
        """Tells this target's build folders from the players' build's."""
        return "" if self is X86 else f"-{self.name}"

    def wine_version(self):
        """The loader's version, or None where this host cannot run it."""
        try:
            result = subprocess.run([self.wine, "--version"], stdin=subprocess.DEVNULL,
                                    capture_output=True, text=True, timeout=60)
        except OSError:
            return None
        return result.stdout.strip() if result.returncode == 0 else None


X86 = WindowsTarget("x86", "windows", "i686-w64-mingw32", "PE32 executable (GUI) Intel 80386",
                    "/usr/lib/wine/wine", "/usr/lib/wine/wineserver32", "win32")
X64 = WindowsTarget("x64", "windows-x64", "x86_64-w64-mingw32", "PE32+ executable (GUI) x86-64",
                    "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver64", "win64")
TARGETS = {target.name: target for target in (X86, X64)}


@functools.cache
def running_target():
    """(target, why it was chosen)."""
    wanted = os.environ.get("KESTRAVA_WINDOWS_TARGET", "auto")
    if wanted in TARGETS:
        return TARGETS[wanted], f"KESTRAVA_WINDOWS_TARGET={wanted}"
    if wanted != "auto":
        raise ValueError(f"KESTRAVA_WINDOWS_TARGET is {wanted!r}, not x86, x64 or auto")
    if X86.wine_version() is not None:
        return X86, "this host runs 32-bit code"
    return X64, "this host cannot run 32-bit code"


def describe():
    """One line saying which build runs under which wine, and why."""
    target, why = running_target()
    return (f"Windows build {target.name} ({target.triple}) under {target.wine} "
            f"({target.wine_version() or 'cannot run here'}), WINEARCH={target.winearch}: {why}")
