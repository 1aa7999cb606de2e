# Helpers shared by the end-to-end scripts: the engine as a child process
# with short, time-bounded line reads (a hung engine fails in seconds), strict
# patterns for everything it prints, and the tool's legal-move list.
import os
import re
import select
import subprocess
import tempfile
import time

MOVE = r"[a-h][1-8][a-h][1-8][NBRQnbrq]?"  # lower case with "Lowercase Promotions"
_SCORE = r"score (?:cp -?\d+|mate [1-9]\d*)(?: upperbound| lowerbound)? depth \d+ nodes \d+ time \d+ pv %s(?: %s)*" % (
    MOVE, MOVE)
# One pattern per kind of line the engine may print after the handshake.
LINE_PATTERNS = {
    "depth": r"info depth \d+",
    "currmove": r"info currmove %s currmovenumber \d+" % MOVE,
    "score": r"info " + _SCORE,
    "multipv": r"info multipv (?:[1-9]|1[0-6]) " + _SCORE,
    "hashfull": r"info hashfull \d+ nps \d+",
    "cpuload": r"info cpuload \d+",
    "nps": r"info nps \d+ nodes \d+(?: tbhits \d+)?",
    "string": r"info string .*",
    "bestmove": r"bestmove %s(?: ponder %s)?" % (MOVE, MOVE),
    "readyok": r"readyok",
}
_COMPILED = [(kind, re.compile(pattern)) for kind, pattern in LINE_PATTERNS.items()]


def line_kind(text):  # None when the line fits no pattern
    return next((kind for kind, pattern in _COMPILED if pattern.fullmatch(text)), None)


class Engine:  # the engine as a child process; every line read is kept in `lines`

    def __init__(self, path, handshake=False):  # path: the program, or a command as a list of words
        self.stderr = tempfile.TemporaryFile()
        # An empty directory of its own: no opening book or other stray file is found there.
        self.workdir = tempfile.TemporaryDirectory(prefix="tavik-e2e-")
        self.proc = subprocess.Popen([path] if isinstance(path, str) else path, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=self.stderr, cwd=self.workdir.name)
        # TAVIK_E2E_THREADS=n: every engine searches with n threads (the
        # option follows the first "uci").
        self.threads = os.environ.get("TAVIK_E2E_THREADS")
        self.pending = b""
        # A bytearray grows in place: a long soak collects megabytes, and
        # copying them at every read delayed the answers it timed.
        self.raw = bytearray()
        self.carriage_return = False
        self.lines = []
        if handshake:
            self.send("uci")
            self.until("uciok")
            self.lines = []

    def send(self, *lines):  # a str is one line, bytes go as they are
        try:
            for data in lines:
                self.proc.stdin.write(data.encode("latin-1") + b"\n" if isinstance(data, str) else data)
                if self.threads and data == "uci":
                    self.proc.stdin.write(b"setoption name Threads value %s\n" % self.threads.encode())
                    self.threads = None
            self.proc.stdin.flush()
        except BrokenPipeError:
            pass  # the engine has gone; the reads will tell

    def line(self, timeout=3.0):  # without its line feed; None on timeout or end of output
        deadline = time.monotonic() + timeout
        while b"\n" not in self.pending:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.proc.stdout], [], [], left)[0]:
                return None
            chunk = os.read(self.proc.stdout.fileno(), 65536)
            if not chunk:
                return None
            self.pending += chunk
            self.raw += chunk
            self.carriage_return = self.carriage_return or b"\r" in chunk
        text, self.pending = self.pending.split(b"\n", 1)
        self.lines.append(text.decode("latin-1"))
        return self.lines[-1]

    def until(self, prefix, timeout=5.0):  # lines up to and including the first that starts with prefix
        deadline = time.monotonic() + timeout
        out = []
        while not out or not out[-1].startswith(prefix):
            out.append(self.line(max(0.0, deadline - time.monotonic())))
            if out[-1] is None:
                raise AssertionError("no %r line within %.1f s; last lines %r" % (prefix, timeout, out[-12:-1]))
        return out

    def sync(self, *lines, timeout=3.0):  # what the lines print before the reply to an isready
        self.send(*lines, "isready")
        return self.until("readyok", timeout)[:-1]

    def close(self, timeout=3.0):  # closes standard input; the exit status and seconds taken (None: killed)
        start = time.monotonic()
        try:
            self.proc.stdin.close()
        except BrokenPipeError:
            pass
        try:
            code = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            code = None
        seconds = time.monotonic() - start
        while self.line(0.5) is not None:  # keep what it printed on the way out
            pass
        self.workdir.cleanup()
        return code, seconds

    def problems(self):  # lines that fit no pattern, sanitizer reports, carriage returns
        found = ["unexpected line %r" % text for text in self.lines if line_kind(text) is None]
        self.stderr.seek(0)
        errors = self.stderr.read().decode("latin-1")
        if "Sanitizer" in errors or "runtime error" in errors:
            found.append("stderr: " + errors[:2000])
        return found + (["carriage return in the output"] if self.carriage_return else [])


def run(tool, *args, timeout=60):
    return subprocess.run([tool, *args], capture_output=True, text=True, timeout=timeout, stdin=subprocess.DEVNULL)


def legal_moves(tool, fen="startpos", moves=()):  # (set of legal moves, "checkmate"/"stalemate"/"")
    proc = run(tool, "legal", fen, *(["moves", *moves] if moves else []), timeout=10)
    if proc.returncode != 0:
        raise AssertionError("tavik-tool legal %s %s: %s" % (fen, moves, proc.stderr.strip()))
    lines = proc.stdout.split("\n")
    return set(lines[0].split()), lines[1] if len(lines) > 2 else ""


def parse_bestmove(text):  # (move, ponder move or None) in lower case
    parts = text.split()
    return parts[1].lower(), parts[3].lower() if len(parts) == 4 else None


class Failures:  # failed checks of a plain script, reported together at the end

    def __init__(self):
        self.messages = []

    def expect(self, condition, message):
        if not condition:
            self.messages.append(message)
        return condition

    def report(self, name):
        for message in self.messages:
            print("FAIL:", message)
        print("%s: %s" % (name, "ok" if not self.messages else "%d failure(s)" % len(self.messages)))
        return 1 if self.messages else 0
