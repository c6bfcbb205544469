"""The ways the test server can be told to misbehave, per URL path pattern, and the pace
that holds a body (or the whole server) to a rate."""
import fnmatch
import threading
import time

from servers.bodies import CHUNK

# Each mode and the parameters it takes. A stall or drop cuts the body at `at` (a fraction
# of this response's body, 0.5 unless given) or after `at_byte` bytes.
MODES = {
    "stall": {"at", "at_byte", "headers"},  # then silence; headers=0: silent from the start
    "drop": {"at", "at_byte"},  # then the connection closes
    "slow": {"rate"},  # the body at `rate` bytes a second
    "status": {"code"},  # `code` (503) and a line of text
    "ignore_range": set(),  # 200 and all of the file whatever Range asks
    "change_between": {"body"},  # from the 2nd request on: `body`, else the file reversed; new validators
    "redirect": {"to", "code"},  # `code` (302) to `to`, where "{path}" stands for the request's path
    "redirect_loop": {"code"},  # to the same path with ?hop=N+1, endlessly; a cycle is two redirects
    "long_body": {"extra"},  # `extra` (1024) bytes past Content-Length, then close
    "short_body": {"missing"},  # Content-Length `missing` (1024) bytes past the body, then close
    "html_200": set(),  # 200 with an HTML error page instead of the file
    "huge_length": {"length"},  # Content-Length `length` (2^63), the body, then close
    "gzip": set(),  # all of the file gzip-encoded, unasked
}


class Fault:
    def __init__(self, pattern, mode, times=None, **params):
        if mode not in MODES:
            raise ValueError(f"unknown fault mode {mode!r}")
        unknown = set(params) - MODES[mode]
        if unknown or (mode == "redirect" and "to" not in params):
            raise ValueError(f"fault {mode!r} takes {sorted(MODES[mode])}, not {sorted(params)}")
        self.pattern, self.mode, self.times, self.params = pattern, mode, times, params
        self.hits = 0  # requests answered so far

    def cutoff(self, length):
        """Where a stall or drop cuts a body of `length` bytes."""
        if "at_byte" in self.params:
            return min(int(self.params["at_byte"]), length)
        return int(length * float(self.params.get("at", 0.5)))

    def __repr__(self):
        return f"Fault({self.pattern!r}, {self.mode!r}, times={self.times!r}, **{self.params!r})"


class Faults:
    def __init__(self):
        self._faults = []
        self._lock = threading.Lock()

    def add(self, fault):
        with self._lock:
            self._faults.append(fault)
        return fault

    def clear(self):
        with self._lock:
            self._faults.clear()

    def take(self, path):
        """(fault, requests it answered before) for a request of `path`: the latest added
        that matches and has requests left, so a test can lay a one-off over a standing one."""
        with self._lock:
            for fault in reversed(self._faults):
                if (fault.times is None or fault.hits < fault.times) and fnmatch.fnmatchcase(path, fault.pattern):
                    fault.hits += 1
                    return fault, fault.hits - 1
        return None, 0


def parse_fault(text):
    """A fault from its command-line form PATTERN=MODE[:k=v,...], `times` among the k=v."""
    pattern, _, rest = text.partition("=")
    mode, _, settings = rest.partition(":")
    params = {}
    for item in filter(None, settings.split(",")):
        key, _, value = item.partition("=")
        params[key] = _number(value)
    times = params.pop("times", None)
    return Fault(pattern, mode, times, **params)


def _number(text):
    for kind in (int, float):
        try:
            return kind(text)
        except ValueError:
            pass
    return text


class Pace:
    """Spaces writes so that at most `rate` bytes a second pass, however many threads share it."""

    def __init__(self, rate):
        self.rate = float(rate)
        self.chunk = max(1, min(CHUNK, int(self.rate) // 20))  # about 20 writes a second
        self._next = time.monotonic()
        self._lock = threading.Lock()

    def delay(self, size):
        """Seconds to wait before sending `size` bytes. An idle spell earns no burst."""
        with self._lock:
            now = time.monotonic()
            start = max(now, self._next)
            self._next = start + size / self.rate
            return start - now
