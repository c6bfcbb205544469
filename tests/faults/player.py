"""A player's install in a trial folder, and the starts of the launcher on it.

A start is a chain of launcher processes: when one asks to start a program (the new
launcher of a self-update), that program runs next, as the system would run it. A trial
of the console installer starts `kestrava-install update` instead, one process a start."""

import json
import os
import shutil
import subprocess
import xml.etree.ElementTree as ElementTree
from dataclasses import dataclass, field
from pathlib import Path

DRIVER = os.environ.get("LAUNCHER_START", "launcher_start")
INSTALL_TOOL = os.environ.get("KESTRAVA_INSTALL", "kestrava-install")
TOOL_DONE = (0, 1)  # success, nothing to do
LONGEST_CHAIN = 3


@dataclass
class Run:
    report: dict  # the driver's line; {"outcome": "killed"} when it printed none
    started: str = None  # what it asked the system to start

    @property
    def shows_play(self):
        return self.report.get("after") == "&Play"


@dataclass
class Trial:
    root: Path
    tree: Path
    server_faults: list = field(default_factory=list)  # driver options, for the faulty start
    options: list = field(default_factory=list)  # driver options, for every start
    tool: bool = False  # started as kestrava-install rather than the launcher

    @property
    def install(self):
        return self.root / "install"

    @property
    def folders(self):
        """Where the engine writes: the install folder and its temporary folder."""
        return [self.install, self.root / "tmp"]

    def prepare(self, install):
        shutil.copytree(install, self.install, symlinks=True)
        (self.root / "tmp").mkdir()

    def run_tool(self, wrapper):
        command = [*wrapper, INSTALL_TOOL, "update", self.install, "--server", self.tree, "--json",
                   *self.options]
        result = subprocess.run(list(map(str, command)), cwd=self.root, capture_output=True,
                                text=True, timeout=120,
                                env={**os.environ, "TMPDIR": str(self.root / "tmp")})
        if result.returncode < 0:
            return Run({"outcome": "killed"})
        # Success names the published game, as "&Play" does for the launcher.
        return Run({"outcome": "exit %d" % result.returncode,
                    "after": "&Play" if result.returncode in TOOL_DONE else None})

    def run(self, program=None, faulty=False, wrapper=()):
        if self.tool:
            return self.run_tool(wrapper)
        record = self.root / "started.txt"
        before = record.read_text().splitlines() if record.exists() else []
        command = [*wrapper, DRIVER, "--tree", self.tree, "--install", self.install,
                   "--record", record, *self.options, *(self.server_faults if faulty else [])]
        if program:
            command += ["--as", program]
        result = subprocess.run(list(map(str, command)), cwd=self.root, capture_output=True,
                                text=True, timeout=120,
                                env={**os.environ, "TMPDIR": str(self.root / "tmp")})
        lines = result.stdout.splitlines()
        report = json.loads(lines[-1]) if result.returncode >= 0 and lines else {"outcome": "killed"}
        after = record.read_text().splitlines() if record.exists() else []
        return Run(report, after[-1] if len(after) > len(before) else None)

    def start(self, faulty=False, wrapper_for=lambda process: ()):
        """The processes of one start, each yielded once it has ended."""
        program = None
        for process in range(LONGEST_CHAIN):
            run = self.run(program, faulty, wrapper_for(process))
            yield run
            if not run.started:
                return
            program = run.started

    def game_is(self, build, version):
        game = self.install / "game"
        installed = {p.relative_to(game): p.read_bytes() for p in game.rglob("*") if p.is_file()}
        published = {p.relative_to(build): p.read_bytes() for p in build.rglob("*") if p.is_file()}
        try:
            recorded = ElementTree.parse(self.install / "version.xml").getroot().get("Current")
        except (OSError, ElementTree.ParseError):
            recorded = None
        return installed == published and recorded == version

    def launcher(self):
        path = self.install / "launcher.exe"
        return path.read_bytes() if path.is_file() else None
