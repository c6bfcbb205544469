"""A wine prefix of its own: created fresh, trusting the test CA, drawing its own captions."""
import os
import re
import subprocess
import tempfile


class Completed:
    def __init__(self, returncode, stdout, stderr):
        self.returncode, self.stdout, self.stderr = returncode, stdout, stderr


def run_captured(command, env, timeout=120, cwd=None):
    """Runs a command and returns its output. Output goes through files, not pipes:
    wine leaves helper processes (services, devices) behind that inherit the pipes, and
    a pipe reader would wait for them forever."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(command, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=err)
        try:
            returncode = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            raise
        out.seek(0)
        err.seek(0)
        return Completed(returncode, out.read(), err.read())


class WinePrefix:
    def __init__(self, path, display_name, target):
        self.path = path
        self.target = target
        self.env = dict(os.environ)
        self.env.update({
            "WINEPREFIX": str(path),
            "WINEARCH": target.winearch,
            # Programs wine starts on its own (wineboot's helpers) use the same loader and server.
            "WINELOADER": target.wine,
            "WINESERVER": target.wineserver,
            "DISPLAY": display_name,
            "WINEDEBUG": "-all",
            # No Mono or Gecko: the launcher needs neither, and their installers would prompt.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
        })

    def create(self):
        result = run_captured([self.target.wine, "wineboot", "-i"], self.env, timeout=300)
        if result.returncode != 0:
            raise RuntimeError(f"wineboot failed: {result.stderr.decode(errors='replace')}")
        # Keep one wine server for the whole run: every ui_driver call starts faster.
        run_captured([self.target.wineserver, "-p"], self.env)
        # Without a window manager, unmanaged windows get their caption drawn by wine.
        self.run(["reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f"])
        return self

    def run(self, args, check=True, timeout=120, cwd=None, env=None):
        result = run_captured([self.target.wine, *map(str, args)], env or self.env, timeout, cwd)
        if check and result.returncode != 0:
            raise RuntimeError(f"wine {' '.join(map(str, args))} exited with {result.returncode}: "
                               f"{result.stderr.decode(errors='replace')}")
        return result

    def start(self, args, cwd=None, log=None, wine_debug=None):
        """Starts a program without waiting; its output, and wine's, go to the file log.
        wine_debug adds wine's debug channels (WINEDEBUG) for this program alone."""
        output = subprocess.DEVNULL if log is None else log
        env = self.env if wine_debug is None else dict(self.env, WINEDEBUG="-all," + wine_debug)
        return subprocess.Popen([self.target.wine, *map(str, args)], env=env, cwd=cwd,
                                stdin=subprocess.DEVNULL, stdout=output, stderr=output)

    def trust_ca(self, trust_ca_exe, ca_der):
        self.run([trust_ca_exe, ca_der])

    def host_path(self, windows_path):
        """Host path of a C: drive path inside the prefix."""
        drive, _, rest = windows_path.partition(":")
        assert drive.upper() == "C", windows_path
        return self.path / "drive_c" / rest.lstrip("\\").replace("\\", "/")

    def registry_value(self, key, name):
        """(type, data) of a value as `reg query` prints it, or None when absent."""
        result = self.run(["reg", "query", key, "/v", name], check=False)
        for line in result.stdout.decode(errors="replace").splitlines():
            # "    master volume    REG_DWORD    0x64": names may hold blanks.
            match = re.match(r"^\s+(.*?)\s+(REG_\w+)\s+(.*)$", line)
            if match and match.group(1) == name:
                return match.group(2), match.group(3).strip()
        return None

    def shutdown(self):
        run_captured([self.target.wineserver, "-k"], self.env)
