"""What the benchmarks share: commands timed in alternating rounds, so that drift on a shared
machine hits ours and the baselines alike, the fastest round of each counting; the processor
time it took (which the load barely changes, where it stretches the wall time); peak memory;
and the load the figures were taken under."""

import os
import resource
import subprocess
import time

BUILD = os.environ.get("KESTRAVA_BUILD", os.path.join(os.path.dirname(__file__), "..", "build", "native"))
PUBLISH = os.path.join(BUILD, "tools", "publish", "kestrava-publish")
ROUNDS = int(os.environ.get("BENCH_ROUNDS", "3"))


def run(command, env=None, peak=False):
    """Seconds, and the peak resident memory in MiB when asked for."""
    if peak:
        command = ["/usr/bin/time", "-f", "%M"] + command
    environment = dict(os.environ, **env) if env else None
    start = time.perf_counter()
    done = subprocess.run(command, env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                          text=True)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        raise RuntimeError("%s failed: %s" % (" ".join(command), done.stderr.strip()))
    return elapsed, (int(done.stderr.strip().splitlines()[-1]) / 1024 if peak else None)


def processor_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def fastest(commands, rounds=ROUNDS, before=None, cpu=None):
    """commands: name -> (command, env). The fastest of rounds for each, in seconds;
    before(name) runs untimed ahead of each command (to empty an output folder, say). cpu,
    a dict, receives the least processor time (user and system) each took."""
    best = {}
    for _ in range(rounds):
        for name, (command, env) in commands.items():
            if before:
                before(name)
            used = processor_seconds()
            elapsed, _ = run(command, env)
            used = processor_seconds() - used
            best[name] = min(best.get(name, elapsed), elapsed)
            if cpu is not None:
                cpu[name] = min(cpu.get(name, used), used)
    return best


def load():
    return "load %.2f %.2f %.2f on %d cores" % (os.getloadavg() + (os.cpu_count(),))
