#!/usr/bin/env python3
"""tavik-tool legal and bench. usage: test_bench_legal.py <tavik> <tavik-tool>"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Failures, run  # noqa: E402

check = Failures()
POSITION_LINE = re.compile(r"Position +(\d+)/(\d+): bestmove (\S+) +score (cp -?\d+|mate \d+) +nodes (\d+)")


def legal(tool, *args):
    proc = run(tool, "legal", *args)
    lines = proc.stdout.split("\n")
    return proc, lines[0].split(), lines[1] if len(lines) > 2 else ""


def check_legal(tool):
    proc, moves, status = legal(tool, "startpos")
    check.expect(proc.returncode == 0 and len(moves) == 20 and moves == sorted(moves) and status == "",
                 "start position: %r" % proc.stdout)
    # Castling and en passant after a move list given as one argument; promotions in lower case.
    _, moves, _ = legal(tool, "startpos moves e2e4 a7a6 g1f3 a6a5 f1c4 a5a4 e4e5 d7d5")
    check.expect({"e1g1", "e5d6"} <= set(moves) and "e1c1" not in moves, "castling, en passant: %r" % moves)
    _, moves, _ = legal(tool, "1n2k3/P7/8/8/8/8/8/4K3 w - -")
    check.expect({"a7a8q", "a7a8r", "a7a8b", "a7a8n", "a7b8q", "a7b8n"} <= set(moves), "promotions: %r" % moves)
    _, moves, _ = legal(tool, *"4k3/P7/8/8/8/8/8/4K3 w - - moves a7a8Q e8d7".split())
    check.expect("a8a1" in moves and "e1e2" in moves, "after an upper-case promotion: %r" % moves)
    for args, status in [(("startpos", "moves", "f2f3", "e7e5", "g2g4", "d8h4"), "checkmate"),
                         (("7k/5Q2/6K1/8/8/8/8/8 b - -",), "stalemate")]:
        proc, moves, got = legal(tool, *args)
        check.expect(proc.returncode == 0 and moves == [] and got == status, "%s: %r" % (status, proc.stdout))
    # Refusals: exit 1, a reason, nothing on standard output.
    for args in [("startpos", "moves", "e2e5"), ("startpos", "moves", "e2e4", "e2e4"), ("startpos", "moves", "zz"),
                 ("startpos", "moves", "f2f3", "e7e5", "g2g4", "d8h4", "e1f2"),
                 ("4k3/P7/8/8/8/8/8/4K3 w - -", "moves", "a7a8"), ("not a fen",), ("4k3/4R3/8/8/8/8/8/4K3 w - -",)]:
        proc = run(tool, "legal", *args)
        check.expect(proc.returncode == 1 and proc.stderr.strip() and not proc.stdout,
                     "legal %r: exit %d, %r %r" % (args, proc.returncode, proc.stdout, proc.stderr))


def bench(tool, *args):
    proc = subprocess.run([tool, "bench", "4", *args], capture_output=True, text=True, timeout=300,
                          stdin=subprocess.DEVNULL)
    rows = [POSITION_LINE.fullmatch(line) for line in proc.stdout.split("\n") if line.startswith("Position")]
    total = re.search(r"^Total nodes: (\d+)\nTime: \d+ ms\nNodes per second: \d+\n\Z", proc.stdout, re.M)
    if not check.expect(proc.returncode == 0 and rows and all(rows) and total,
                        "bench %r: exit %d\n%s%s" % (args, proc.returncode, proc.stdout, proc.stderr)):
        return None
    return [(m.group(3), m.group(4), int(m.group(5))) for m in rows], int(total.group(1))


def check_bench(tool):
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "bench_positions.h")
    fens = [line.strip().strip(",").strip('"') for line in open(source) if line.startswith('    "')]
    full = bench(tool)
    if not full:
        return
    rows, total = full
    check.expect(len(rows) == len(fens) >= 25, "%d positions of %d" % (len(rows), len(fens)))
    check.expect(total == sum(nodes for _, _, nodes in rows) and all(n > 0 for _, _, n in rows), "total %d" % total)
    # Each position alone gives what it gave after all the others.
    for index in (len(fens) - 1, 7):
        alone = bench(tool, *fens[index].split())
        check.expect(alone and alone[0] == [rows[index]], "position %d alone: %r" % (index + 1, alone))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    check_legal(sys.argv[2])
    check_bench(sys.argv[2])
    return check.report("bench and legal")


if __name__ == "__main__":
    sys.exit(main())
