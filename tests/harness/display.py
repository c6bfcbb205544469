"""An Xvfb display of its own, and screenshots of it."""
import os
import pathlib
import subprocess
import time


class XvfbDisplay:
    def __init__(self, width=1280, height=1024):
        self.number = self._free_number()
        self.name = f":{self.number}"
        self._process = subprocess.Popen(
            ["Xvfb", self.name, "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        socket = pathlib.Path(f"/tmp/.X11-unix/X{self.number}")
        deadline = time.monotonic() + 20
        while not socket.exists():
            if self._process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"Xvfb did not start on {self.name}")
            time.sleep(0.05)

    @staticmethod
    def _free_number():
        for n in range(90, 190):
            if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
                return n
        raise RuntimeError("no free X display number")

    def stop(self):
        self._process.terminate()
        self._process.wait(timeout=10)


def screenshot(display_name, path):
    path = pathlib.Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["import", "-display", display_name, "-window", "root", str(path)],
                   check=True, capture_output=True)
    return path
