"""The launcher's first promise, at every file-system mutation: whatever fails mid-way (the
process killed, a write, rename or delete refused), the next starts end with exactly the
published game installed and "&Play", or a message and nothing lost. Never "&Play" on a game
that does not match the build, never the same failure on every start, never a lost
launcher.exe.

Each scenario's faulty start is traced once to list its mutations; each is then a point,
tried three times (the process killed just before it, the call failing, and the player
pressing Stop as it runs), each followed by up to three healthy starts of the player.
The console installer's scenarios hold it to the same promise: its `update` exits with
success only on exactly the published game, whatever the run before it met."""

import os
import shutil
import tempfile
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field
from pathlib import Path

import pytest

import syscall_points
from player import Trial
from release_tree import LATEST, PATCH_PACKAGE, WHOLE_PACKAGE, make_releases

HEALTHY_STARTS = 3
FAULTS = ("kill", "error", "stop")


@dataclass
class Scenario:
    name: str
    tree: Path
    install: Path  # the player's install folder before the faulty start
    server_faults: list = field(default_factory=list)
    new_launcher: bool = False
    options: list = field(default_factory=list)  # for every start: a build with a release key
    tool: bool = False  # kestrava-install update, not the launcher

    @property
    def stop_signal(self):
        return "TERM" if self.tool else "USR1"


@dataclass
class Verdict:
    stuck: bool = True
    wrong_play: bool = False
    launcher_lost: bool = False
    landed: bool = True


def install_by_healthy_starts(work, name, tree, base, options=()):
    trial = Trial(work / name, tree, options=list(options))
    trial.root.mkdir()
    trial.prepare(base)
    for _ in range(HEALTHY_STARTS):
        if any(run.shows_play for run in trial.start()):
            return trial.install
    pytest.fail(f"a healthy install from {tree.name} never shows \"&Play\": the sweep has no ground")


def scenarios(work, releases):
    empty = work / "empty"
    empty.mkdir()
    (empty / "launcher.exe").write_bytes(releases.old_launcher)
    (empty / "redist.txt").write_bytes(b"")
    first = install_by_healthy_starts(work, "first", releases.first_only, empty)
    latest = install_by_healthy_starts(work, "latest", releases.tree, empty)
    without_game = work / "without-game"
    shutil.copytree(latest, without_game)
    shutil.rmtree(without_game / "game")
    half = (releases.tree / "launcher" / PATCH_PACKAGE).stat().st_size // 2
    keyed = ["--release-key", releases.release_key]
    signed_first = install_by_healthy_starts(work, "signed-first", releases.signed_first_only, empty, keyed)
    keys = work / "release-keys.txt"
    keys.write_text(releases.release_key + "\n")
    return [
        Scenario("fresh install", releases.tree, empty),
        Scenario("update 1 -> 2", releases.tree, first),
        Scenario("reinstall", releases.tree, without_game),
        Scenario("update, patch cut short", releases.tree, first, ["--cut", f"{PATCH_PACKAGE}={half}"]),
        Scenario("update, package refused", releases.tree, first, ["--refuse", WHOLE_PACKAGE]),
        Scenario("self-update", releases.self_update, latest, new_launcher=True),
        # The accepted serial is written beside the game: a fault there must not lock the
        # player out of the release that wrote it.
        Scenario("signed update 1 -> 2", releases.signed_tree, signed_first, options=keyed),
        # The launcher's folder served by the console installer, and one of its own.
        Scenario("kestrava-install: signed update 1 -> 2", releases.signed_tree, signed_first,
                 options=["--keys", keys], tool=True),
        Scenario("kestrava-install: fresh install", releases.tree, empty, tool=True),
    ]


def new_trial(scenario, scratch):
    trial = Trial(Path(tempfile.mkdtemp(dir=scratch)).resolve(), scenario.tree, scenario.server_faults,
                  scenario.options, scenario.tool)
    trial.prepare(scenario.install)
    return trial


def list_points(scenario, scratch):
    trial = new_trial(scenario, scratch)
    try:
        logs = lambda process: trial.root / f"trace-{process}.log"
        ran = list(trial.start(faulty=True, wrapper_for=lambda p: syscall_points.trace_command(logs(p))))
        points = [point for process in range(len(ran))
                  for point in syscall_points.mutations(logs(process), process, trial.root, trial.folders)]
    finally:
        shutil.rmtree(trial.root)
    assert points, f"{scenario.name}: the start changes no file, so the sweep would prove nothing"
    return points


def try_point(scenario, releases, scratch, point, fault):
    trial = new_trial(scenario, scratch)
    verdict = Verdict()
    expected_launchers = {releases.old_launcher, releases.new_launcher}

    def judge(run):
        if trial.launcher() not in expected_launchers:
            verdict.launcher_lost = True
        game_ok = trial.game_is(releases.latest_build, LATEST)
        if run.shows_play and not game_ok:
            verdict.wrong_play = True
        launcher_ok = not scenario.new_launcher or trial.launcher() == releases.new_launcher
        return run.shows_play and game_ok and launcher_ok

    try:
        log = trial.root / "injected.log"
        inject = syscall_points.inject_command(log, point, fault, scenario.stop_signal) if point else ()
        for run in trial.start(faulty=True, wrapper_for=lambda p: inject if point and p == point.process else ()):
            judge(run)
        if point:
            verdict.landed = syscall_points.landed(log, point, fault, trial.root, trial.folders,
                                                   scenario.stop_signal)
        for _ in range(HEALTHY_STARTS):
            if [judge(run) for run in trial.start()][-1]:
                verdict.stuck = False
                break
        return verdict
    finally:
        shutil.rmtree(trial.root)


def describe(point):
    return f"process {point.process}, {point.syscall} #{point.ordinal} on {' -> '.join(point.target)}"


def table(rows):
    header = ("scenario", "fault", "points", "stuck", "wrong Play", "launcher lost")
    lines = [header] + [tuple(str(cell) for cell in row) for row in rows]
    widths = [max(len(line[i]) for line in lines) for i in range(len(header))]
    return "\n".join("  ".join(cell.ljust(width) for cell, width in zip(line, widths)).rstrip()
                     for line in lines)


def summarise(plan, verdicts):
    """Rows of the table, the trials whose injection missed, and one line per lapse."""
    rows, missed, lapses = {}, [], []
    for (scenario, point, fault), verdict in zip(plan, verdicts):
        row = rows.setdefault((scenario.name, fault), [scenario.name, fault, 0, 0, 0, 0])
        row[2:] = [row[2] + 1, row[3] + verdict.stuck, row[4] + verdict.wrong_play,
                   row[5] + verdict.launcher_lost]
        where = f"{scenario.name}, {fault} at " + (describe(point) if point else "no point")
        if not verdict.landed:
            missed.append(where)
        kinds = [kind for kind in ("stuck", "wrong_play", "launcher_lost") if getattr(verdict, kind)]
        if kinds:
            lapses.append(f"{where}: {', '.join(kinds)}")
    return list(rows.values()), missed, lapses


def test_every_fault_ends_in_the_published_game_or_a_message(tmp_path):
    assert shutil.which("strace"), "strace is missing: scripts/setup installs it"
    releases = make_releases(tmp_path)
    scratch = tmp_path / "trials"
    scratch.mkdir()
    plan = [(scenario, point, fault)
            for scenario in scenarios(tmp_path, releases)
            for point, fault in [(None, "none")] + [(p, f) for p in list_points(scenario, scratch) for f in FAULTS]]
    with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        verdicts = list(pool.map(lambda item: try_point(item[0], releases, scratch, *item[1:]), plan))

    rows, missed, lapses = summarise(plan, verdicts)
    report = table(rows)
    print("\n" + report)
    if os.environ.get("FAULT_SWEEP_REPORT"):
        Path(os.environ["FAULT_SWEEP_REPORT"]).write_text("\n".join([report, "", *lapses, ""]))

    assert not missed, "injections that missed their call (the runs are not repeatable):\n" + "\n".join(missed)
    assert not lapses, "faults that leave the player stuck, on a wrong \"&Play\" or without a launcher:\n" + "\n".join(lapses)
