#!/usr/bin/env python3
# The engine under faults from outside: the front end closing the pipe in the
# middle of a search, a Hash it cannot allocate, tablebase paths it cannot use.
import os
import resource
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Engine, Failures, parse_bestmove  # noqa: E402

tavik = sys.argv[1]
check = Failures()

# Closed input during an infinite search: a prompt, clean exit.
e = Engine(tavik, handshake=True)
e.send("position startpos", "go infinite")
time.sleep(0.3)
code, seconds = e.close(timeout=5.0)
check.expect(code == 0 and seconds < 3.0, "exit %s after %.1f s on closed input mid-search" % (code, seconds))

# Both ends gone: no SIGPIPE death, no spinning.
e = Engine(tavik, handshake=True)
e.send("position startpos", "go infinite")
time.sleep(0.2)
e.proc.stdout.close()
start = time.monotonic()
e.proc.stdin.close()
try:
    code = e.proc.wait(5.0)
except subprocess.TimeoutExpired:
    e.proc.kill()
    code = e.proc.wait()
seconds = time.monotonic() - start
check.expect(code == 0 and seconds < 3.0, "exit %s after %.1f s with both pipes closed" % (code, seconds))

# A Hash the address space cannot hold: a message, then a normal search.
sanitized = b"__asan" in open(tavik, "rb").read()
if not sanitized:
    old = resource.getrlimit(resource.RLIMIT_AS)
    resource.setrlimit(resource.RLIMIT_AS, (256 << 20, old[1]))
    e = Engine(tavik, handshake=True)
    resource.setrlimit(resource.RLIMIT_AS, old)
    said = e.sync("setoption name Hash value 2000")
    check.expect(any("Hash" in s and s.startswith("info string") for s in said), "no word on the failed Hash: %r" % said)
    e.send("position startpos", "go depth 4")
    move = parse_bestmove(e.until("bestmove", 10.0)[-1])[0]
    check.expect(move in ("e2e4", "d2d4", "g1f3", "b1c3", "c2c4", "e2e3", "d2d3"), "odd move %s" % move)
    check.expect(e.close()[0] == 0, "exit after the failed Hash")

# Tablebase paths that lead nowhere or cannot be read: searches go on.
with tempfile.TemporaryDirectory() as tmp:
    locked = os.path.join(tmp, "locked")
    os.mkdir(locked, 0)
    e = Engine(tavik, handshake=True)
    for path in (os.path.join(tmp, "missing"), locked, tmp + "/missing;" + locked):
        e.sync("setoption name NalimovPath value " + path)
        e.send("position fen 8/8/8/4k3/8/8/8/KQ6 w - - 0 1", "go depth 3")
        check.expect(e.until("bestmove")[-1].startswith("bestmove"), "no move with NalimovPath %s" % path)
    check.expect(e.close()[0] == 0 and not e.problems(), "exit or output after bad paths: %r" % e.problems())
    os.chmod(locked, 0o700)

sys.exit(check.report("clean ends"))
