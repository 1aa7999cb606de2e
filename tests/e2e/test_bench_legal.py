#!/usr/bin/env python3
"""tavik-tool legal (move lists, game ends, refusals) and tavik-tool bench
(output form, a node count that is the same on every run and for every
position whatever ran before it).

usage: test_bench_legal.py <tavik> <tavik-tool>
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Failures, run  # noqa: E402

check = Failures()
BENCH_DEPTH = "4"
POSITION_LINE = re.compile(r"Position +(\d+)/(\d+): bestmove (\S+) +score (cp -?\d+|mate \d+) +nodes (\d+)")


def legal(tool, *args):
    proc = run(tool, "legal", *args)
    lines = proc.stdout.split("\n")
    return proc, lines[0].split(), lines[1] if len(lines) > 2 else ""


def check_legal(tool):
    proc, moves, status = legal(tool)
    check.expect(proc.returncode == 0 and len(moves) == 20 and moves == sorted(moves) and status == "",
                 "start position: %r" % proc.stdout)
    check.expect(legal(tool, "startpos")[1] == moves, "startpos by name")
    # Castling, en passant, promotions in lower case (either case accepted on input), pins.
    _, moves, _ = legal(tool, "startpos", "moves", "e2e4", "e7e5", "g1f3", "b8c6", "f1c4", "g8f6")
    check.expect("e1g1" in moves and "e1c1" not in moves, "castling: %r" % moves)
    _, moves, _ = legal(tool, "startpos moves e2e4 a7a6 e4e5 d7d5")  # one quoted argument
    check.expect("e5d6" in moves, "en passant: %r" % moves)
    _, moves, _ = legal(tool, *"4k3/P7/8/8/8/8/8/4K3 w - - moves a7a8Q e8d7".split())
    check.expect("a8a1" in moves and "a8h1" in moves and "e1e2" in moves, "after a promotion: %r" % moves)
    _, moves, _ = legal(tool, "1n2k3/P7/8/8/8/8/8/4K3 w - -")
    check.expect({"a7a8q", "a7a8r", "a7a8b", "a7a8n", "a7b8q", "a7b8n"} <= set(moves), "promotions: %r" % moves)
    _, moves, _ = legal(tool, "4k3/4r3/8/8/8/8/4B3/4K3 w - -")
    check.expect(moves and not [m for m in moves if m.startswith("e2")], "pinned bishop: %r" % moves)
    _, moves, _ = legal(tool, "4k3/8/8/8/8/8/4r3/4K3 w - -")
    check.expect(moves == ["e1d1", "e1e2", "e1f1"], "in check: %r" % moves)
    # Game ends.
    proc, moves, status = legal(tool, "startpos", "moves", "f2f3", "e7e5", "g2g4", "d8h4")
    check.expect(proc.returncode == 0 and moves == [] and status == "checkmate", "fool's mate: %r" % proc.stdout)
    proc, moves, status = legal(tool, "7k/5Q2/6K1/8/8/8/8/8 b - -")
    check.expect(proc.returncode == 0 and moves == [] and status == "stalemate", "stalemate: %r" % proc.stdout)
    # Refusals: exit 1, a reason, nothing on standard output.
    for args in [("startpos", "moves", "e2e5"), ("startpos", "moves", "e2e4", "e2e4"),
                 ("startpos", "moves", "e2e4x"), ("startpos", "moves", "e2e4q"), ("startpos", "moves", "zz"),
                 ("startpos", "moves", "f2f3", "e7e5", "g2g4", "d8h4", "e1f2"),
                 ("4k3/P7/8/8/8/8/8/4K3 w - -", "moves", "a7a8"), ("not a fen",), ("startpos", "junk"),
                 ("8/8/8/8/8/8/8/8 w - -",), ("4k3/4R3/8/8/8/8/8/4K3 w - -",)]:
        proc = run(tool, "legal", *args)
        check.expect(proc.returncode == 1 and proc.stderr.strip() and not proc.stdout,
                     "legal %r: exit %d, %r %r" % (args, proc.returncode, proc.stdout, proc.stderr))


def bench(tool, *args, commands=None):
    """(per-position (move, score, nodes) list, total nodes) or None."""
    feed = {"input": commands} if commands is not None else {"stdin": subprocess.DEVNULL}
    proc = subprocess.run([tool, "bench", *args], capture_output=True, text=True, timeout=300, **feed)
    rows = [POSITION_LINE.fullmatch(line) for line in proc.stdout.split("\n") if line.startswith("Position")]
    total = re.search(r"^Total nodes: (\d+)\nTime: \d+ ms\nNodes per second: \d+\n\Z", proc.stdout, re.M)
    if not check.expect(proc.returncode == 0 and rows and all(rows) and total,
                        "bench %r: exit %d\n%s%s" % (args, proc.returncode, proc.stdout, proc.stderr)):
        return None
    return [(m.group(3), m.group(4), int(m.group(5))) for m in rows], int(total.group(1))


def check_bench(tool):
    positions = [line for line in open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                                    "tools", "bench_positions.h")) if line.startswith('    "')]
    fens = [line.strip().strip(",").strip('"') for line in positions]
    full = bench(tool, BENCH_DEPTH)
    if not full:
        return
    rows, total = full
    check.expect(len(rows) == len(fens) >= 25, "%d positions of %d" % (len(rows), len(fens)))
    check.expect(total == sum(nodes for _, _, nodes in rows) > 0, "total %d is the sum" % total)
    check.expect(all(nodes > 0 for _, _, nodes in rows), "every position searched: %r" % rows)
    for fen, (move, score, _) in zip(fens, rows):
        if score == "mate 1":
            status = legal(tool, fen, "moves", move.lower())[2]
            check.expect(status == "checkmate", "%s: %s does not mate" % (fen, move))
    check.expect(sum(score.startswith("mate") for _, score, _ in rows) >= 3, "mates found: %r" % rows)
    # The same signature again, whatever standard input holds: the bench reads no commands.
    again = bench(tool, BENCH_DEPTH, commands="stop\nquit\n")
    check.expect(again == full, "second run differs: %r" % (again and again[1]))
    # Each position alone gives what it gave after all the others.
    for index in (len(fens) - 1, 7, len(fens) // 2):
        alone = bench(tool, BENCH_DEPTH, *fens[index].split())
        check.expect(alone and alone[0] == [rows[index]], "position %d alone: %r, in the list %r" % (
            index + 1, alone and alone[0], rows[index]))
    for args in [("0",), ("65",), ("4x",), ("3", "not", "a", "fen"), ("3", "8/8/8/8/8/8/8/8 w - -")]:
        proc = run(tool, "bench", *args)
        check.expect(proc.returncode == 1 and proc.stderr.strip() and "Total" not in proc.stdout,
                     "bench %r: exit %d, %r" % (args, proc.returncode, proc.stderr))


def main():
    if len(sys.argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    tool = sys.argv[2]
    check_legal(tool)
    check_bench(tool)
    return check.report("bench and legal")


if __name__ == "__main__":
    sys.exit(main())
