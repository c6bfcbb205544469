"""One install directory with launcher.exe, started under wine."""
import shutil
import subprocess


class LauncherInstall:
    def __init__(self, directory, build, prefix):
        self.directory = directory
        self.prefix = prefix
        self.build = build
        directory.mkdir(parents=True, exist_ok=True)
        shutil.copy2(build.launcher, directory / "launcher.exe")
        self.process = None
        self.wine_debug = None  # wine's debug channels for the launcher's next starts

    @property
    def config_txt(self):
        return self.directory / "config.txt"

    @property
    def game_dir(self):
        return self.directory / "game"

    def windows_path(self, relative=""):
        """The path under the install directory as the launcher sees it (wine's Z: drive)."""
        return self.windows_path_of(self.directory / relative if relative else self.directory)

    @staticmethod
    def windows_path_of(path):
        return "Z:" + str(path).replace("/", "\\")

    def mark_installed(self, version):
        """A game folder and version.xml recording `version`, with a kept validation list
        that names no file, so the quick look at start-up finds nothing missing."""
        self.game_dir.mkdir(exist_ok=True)
        (self.directory / "version.xml").write_text(f'<Version Current="{version}"/>')
        (self.directory / "work").mkdir(exist_ok=True)
        (self.directory / "work" / "installed.validate.xml").write_text("<Game_Manifest/>")

    def add_stand_in(self, relative_path, helper_name):
        """Copies a recording stand-in (game.exe, vc_redist.x64.exe) into the install."""
        target = self.directory / relative_path
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(self.build.helper(helper_name), target)
        return target

    @property
    def log(self):
        """What wine printed for the launcher's runs: an unhandled exception shows here."""
        return self.directory.parent / "launcher.log"

    def start(self):
        with open(self.log, "ab") as log:
            self.process = self.prefix.start([self.directory / "launcher.exe"], cwd=self.directory,
                                             log=log, wine_debug=self.wine_debug)
        return self

    def wait_exit(self, timeout=30):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"launcher.exe still running after {timeout} s")

    def kill(self):
        """Ends every launcher still running from this directory, including one that a
        self-update started, which is no child of ours."""
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        # wine shows such processes by their Windows path, so match the folder's name.
        subprocess.run(["pkill", "-f", rf"{self.directory.parent.name}[\\/]{self.directory.name}[\\/]launcher"],
                       capture_output=True)
