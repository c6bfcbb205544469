"""Fault points: the file-system mutations a traced run makes, and strace's injection at one.

strace counts an injection's `when=` per syscall and per tracee, not per set: a point is
the N-th call of one syscall in one process, counted over all its calls (the read-only
openat of the loader included), so every syscall name is traced whole.
"""

import re
from dataclasses import dataclass

# Data calls carry bytes in their quoted argument; the others carry paths there.
DATA_CALLS = {"write", "writev", "pwrite64", "pwritev", "pwritev2"}
SPACE_CALLS = DATA_CALLS | {"truncate", "ftruncate", "fallocate", "copy_file_range", "sendfile"}
FLUSH_CALLS = {"fsync", "fdatasync", "sync_file_range"}
OPEN_CALLS = {"open", "openat", "openat2", "creat"}
PATH_CALLS = {"rename", "renameat", "renameat2", "unlink", "unlinkat", "mkdir", "mkdirat", "rmdir",
              "link", "linkat", "symlink", "symlinkat", "chmod", "fchmod", "fchmodat", "chown",
              "lchown", "fchown", "fchownat", "utimensat", "utimes", "utime", "futimesat", "mknod",
              "mknodat"}
TRACED = sorted(SPACE_CALLS | FLUSH_CALLS | OPEN_CALLS | PATH_CALLS)

LINE = re.compile(r"^(?:\d+\s+)?(\w+)\((.*)\)\s+=\s+(.*)$")
# A path: a quoted argument, or the one strace -y prints after a descriptor (the current
# folder's, after AT_FDCWD, is no target).
PATH = re.compile(r'"((?:[^"\\]|\\.)*)"|(?<!AT_FDCWD)<([^<>]*)>')
WRITING_OPEN = re.compile(r"\bO_(WRONLY|RDWR|CREAT|TRUNC|APPEND)\b")
TEMPORARY_NAME = re.compile(r"kestrava-[A-Za-z0-9]{6}")


@dataclass(frozen=True)
class Point:
    process: int  # the place of the process in the start's chain of launchers
    syscall: str
    ordinal: int  # strace's when=: the syscall's own count in that process
    target: tuple  # the paths it touches, relative to the trial folder


def trace_command(log):
    return ["strace", "-f", "-y", "-o", str(log), "-e", "trace=" + ",".join(TRACED)]


def inject_command(log, point, kind, stop_signal="USR1"):
    if kind == "kill":
        effect = "signal=KILL"
    elif kind == "stop":
        # The driver takes SIGUSR1 for the player's Stop, kestrava-install SIGTERM for a
        # service manager's: the call itself goes through.
        effect = "signal=" + stop_signal
    else:
        effect = "error=" + ("ENOSPC" if point.syscall in SPACE_CALLS
                             else "EIO" if point.syscall in FLUSH_CALLS else "EACCES")
    return [*trace_command(log), "-e", f"inject={point.syscall}:{effect}:when={point.ordinal}"]


def _calls(log):
    for text in log.read_text(errors="replace").splitlines():
        match = LINE.match(text)
        if match:
            yield match.group(1), match.group(2), match.group(3)


def _target(syscall, args, trial, folders):
    """The paths inside folders that a call names, in argument order, relative to trial."""
    target = []
    for quoted, decorated in PATH.findall(args):
        path = decorated or (quoted if syscall not in DATA_CALLS else "")
        if any(path == f or path.startswith(f + "/") for f in folders):
            relative = TEMPORARY_NAME.sub("kestrava-XXXXXX", path[len(trial) + 1:])
            if relative not in target:
                target.append(relative)
    return tuple(target)


def mutations(log, process, trial, folders):
    """The points of one traced process: the calls that changed something inside folders.
    A call that failed anyway (deleting what is not there) changed nothing: a kill before it
    is the kill before the next one."""
    counts, points = {}, []
    for syscall, args, result in _calls(log):
        counts[syscall] = counts.get(syscall, 0) + 1
        if result.startswith("-1") or (syscall in OPEN_CALLS and not WRITING_OPEN.search(args)):
            continue
        target = _target(syscall, args, str(trial), [str(f) for f in folders])
        if target:
            points.append(Point(process, syscall, counts[syscall], target))
    return points


def landed(log, point, kind, trial, folders, stop_signal="USR1"):
    """Whether the injected run's fault hit the call its point names."""
    hit = None
    if kind == "stop":
        return _stopped_at(log, point, trial, folders, stop_signal)
    for syscall, args, result in _calls(log):
        if (kind == "kill" and result == "?") or (kind == "error" and "(INJECTED)" in result):
            hit = (syscall, _target(syscall, args, str(trial), [str(f) for f in folders]))
    return hit == (point.syscall, point.target)


def _stopped_at(log, point, trial, folders, stop_signal):
    """Whether the signal came at the point's call: strace shows it beside the call."""
    lines = log.read_text(errors="replace").splitlines()
    count = 0
    for number, text in enumerate(lines):
        match = LINE.match(text)
        if not match or match.group(1) != point.syscall:
            continue
        count += 1
        if count == point.ordinal:
            near = lines[max(0, number - 2):number + 3]
            return (_target(match.group(1), match.group(2), str(trial), [str(f) for f in folders]) == point.target
                    and any("SIG" + stop_signal in line for line in near))
    return False
