#!/usr/bin/env python3
# The engine under faults from outside: input that ends at any point of a
# session, the front end closing the pipes in the middle of a search, a Hash
# it cannot allocate, tablebase paths it cannot use.
import os
import resource
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Engine, Failures, parse_bestmove  # noqa: E402

tavik = sys.argv[1]
check = Failures()

SESSION = ["uci", "isready", "setoption name Hash value 8", "setoption name MultiPV value 2", "ucinewgame",
           "position startpos moves e2e4 e7e5", "go wtime 3500 btime 3500 winc 100 binc 100",
           "position startpos moves e2e4 e7e5 g1f3", "go depth 3", "go infinite", "stop",
           "position startpos moves e2e4 e7e5 g1f3 b8c6", "go ponder wtime 3500 btime 3500", "ponderhit", "quit"]


def ends_search(line):  # a line after which the engine owes a "bestmove" without more input
    return line in ("stop", "ponderhit") or line.startswith("go ") and "infinite" not in line and "ponder" not in line


def cut_session(lines, tail):
    # The lines one by one, each search answered before anything follows (a
    # "go " would end it unanswered), then tail without its line feed, then
    # the end of input. Like "quit", the end of input stops a running search,
    # which still gives its "bestmove".
    e = Engine(tavik)
    try:
        for i, line in enumerate(lines):
            e.send(line)
            if ends_search(line) and (tail or i < len(lines) - 1):
                e.until("bestmove")
        e.send(tail.encode())
    except AssertionError as error:
        e.close(0.5)
        return ["%r: %s" % (lines[-1:], error)]
    code, seconds = e.close()
    where = "after %r + %r" % (lines[-1:], tail)
    found = [] if code == 0 and seconds < 3.0 else ["exit %s after %.1f s %s" % (code, seconds, where)]
    goes = sum(line.startswith("go ") for line in lines + [tail])
    moves = sum(text.startswith("bestmove") for text in e.lines)
    if moves != goes:
        found.append("%d bestmove for %d go %s" % (moves, goes, where))
    e.lines = e.lines[e.lines.index("uciok") + 1:] if "uciok" in e.lines else e.lines
    return found + ["%s %s" % (problem, where) for problem in e.problems()]


cuts = [(SESSION[:k], "") for k in range(len(SESSION) + 1)]
cuts += [(SESSION[:k], line[:len(line) // 2]) for k, line in enumerate(SESSION)]
with ThreadPoolExecutor(2) as pool:
    for found in pool.map(lambda cut: cut_session(*cut), cuts):
        for message in found:
            check.expect(False, message)

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
