#!/usr/bin/env python3
# Helper threads under the protocol: the sessions of tests/data/thread_sessions.txt
# run with Threads 4 (or the count given third), each must end cleanly with a
# legal bestmove per go. Usage: test_threads.py <tavik> <tavik-tool> [threads]
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Engine, Failures, legal_moves, parse_bestmove  # noqa: E402

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "thread_sessions.txt")
ENDS_SEARCH = ("stop", "ponderhit", "quit", "<end>")


def position_of(line):  # (fen, moves) of a "position" line
    words = line.split()
    moves = words[words.index("moves") + 1:] if "moves" in words else []
    if words[1] == "startpos":
        return "startpos", tuple(moves)
    end = words.index("moves") if "moves" in words else len(words)
    return " ".join(words[2:end]), tuple(moves)


def run_session(tavik, tool, threads, name, lines):
    found = []
    e = Engine(tavik, handshake=True)
    e.sync("setoption name Threads value %d" % threads)
    e.lines = []
    position, mark, goes, readies, closed = ("startpos", ()), 0, [], 0, None
    for line in lines:
        if line.startswith("~"):
            deadline = time.monotonic() + float(line[1:])
            while time.monotonic() < deadline:
                text = e.line(deadline - time.monotonic())
                if text and text.startswith("bestmove"):
                    found.append("%s: bestmove before %r" % (name, line))
            continue
        if line.startswith(("position", "go ")):
            # Whatever the engine owes comes before this reply, so it is read first.
            e.sync(timeout=15)
            readies += 1
        before = sum(t.startswith("bestmove") for t in e.lines)
        if line == "<end>":
            closed = e.close()
        else:
            e.send(line)
        if line.startswith("position"):
            position, mark = position_of(line), len(e.lines)
        elif line.startswith("go "):
            # Every move the engine answered since the position line was
            # played into its game.
            played = tuple(parse_bestmove(t)[0] for t in e.lines[mark:] if t.startswith("bestmove"))
            goes.append((position[0], position[1] + tuple(m for m in played if m != "a1a1")))
            if "infinite" not in line and "ponder" not in line:
                try:
                    e.until("bestmove", 15)
                except AssertionError as error:
                    found.append("%s: %r: %s" % (name, line, error))
        elif line == "isready":
            readies += 1
        if line in ENDS_SEARCH and closed is None and line != "quit":
            start = time.monotonic()
            while sum(t.startswith("bestmove") for t in e.lines) == before and time.monotonic() - start < 2:
                e.line(2 - (time.monotonic() - start))
            if sum(t.startswith("bestmove") for t in e.lines) == before and len(goes) > before:
                found.append("%s: no bestmove within 2 s of %r" % (name, line))
    if closed is None:
        if "quit" not in lines:
            e.send("isready")
            readies += 1
            e.until("readyok", 10)
            e.send("quit")
        closed = e.close()
    code, seconds = closed
    if code != 0 or seconds > 2:
        found.append("%s: exit %s after %.1f s" % (name, code, seconds))
    moves = [parse_bestmove(t) for t in e.lines if t.startswith("bestmove")]
    if len(moves) != len(goes):
        found.append("%s: %d bestmove for %d go" % (name, len(moves), len(goes)))
    for (fen, played), (best, ponder) in zip(goes, moves):
        legal, _ = legal_moves(tool, fen, played)
        if not legal:
            found.append("%s: %s where no move exists" % (name, best)) if best != "a1a1" else None
        elif best not in legal:
            found.append("%s: illegal bestmove %s after %s %s" % (name, best, fen, " ".join(played)))
        elif ponder and ponder not in legal_moves(tool, fen, played + (best,))[0]:
            found.append("%s: illegal ponder move %s" % (name, ponder))
    if sum(t == "readyok" for t in e.lines) != readies:
        found.append("%s: %d readyok for %d isready" % (name, sum(t == "readyok" for t in e.lines), readies))
    return found + ["%s: %s" % (name, p) for p in e.problems()]


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit("usage: test_threads.py <tavik> <tavik-tool> [threads]")
    tavik, tool = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    threads = int(sys.argv[3]) if len(sys.argv) == 4 else int(os.environ.get("TAVIK_E2E_THREADS", "4"))
    check = Failures()
    for row in open(DATA):
        if not row.strip() or row.startswith("#"):
            continue
        name, text = (part.strip() for part in row.split("|", 1))
        for message in run_session(tavik, tool, threads, name, [t.strip() for t in text.split(";")]):
            check.expect(False, message)
    return check.report("test_threads (Threads %d)" % threads)


if __name__ == "__main__":
    sys.exit(main())
