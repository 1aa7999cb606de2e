#!/usr/bin/env python3
"""tavik-tool perft: shallow published totals, output form and bad input.

usage: test_perft.py <tavik> <tavik-tool>
"""
import io
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import perft_check  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Failures, run  # noqa: E402

failures = Failures()
expect = failures.expect


def main():
    if len(sys.argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    tool = sys.argv[2]

    log = io.StringIO()
    bad = perft_check.check(tool, deep=False, out=log)
    expect(bad == 0, "published shallow totals:\n" + "".join(
        line + "\n" for line in log.getvalue().splitlines() if line.startswith("FAIL")))

    # Promotions print in lower case, moves sorted, a blank line, then the total.
    proc = run(tool, "perft", "1", "4k3/P7/8/8/8/8/8/4K3 w - - 0 1")
    expect(proc.returncode == 0 and proc.stdout.split("\n")[:4] == ["a7a8b: 1", "a7a8n: 1", "a7a8q: 1", "a7a8r: 1"],
           "promotion lines: %r" % proc.stdout)
    expect(proc.stdout.endswith("a7a8r: 1\ne1d1: 1\ne1d2: 1\ne1e2: 1\ne1f1: 1\ne1f2: 1\n\nNodes searched: 9\n"),
           "sorted lines, blank line, total: %r" % proc.stdout)
    # The FEN may arrive split into several arguments; without one, the start position.
    proc = run(tool, "perft", "2", *"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -".split())
    expect(proc.stdout.endswith("\nNodes searched: 191\n"), "split FEN: %r" % proc.stdout[-60:])
    proc = run(tool, "perft", "3")
    expect(proc.stdout.endswith("\nNodes searched: 8902\n"), "start position: %r" % proc.stdout[-60:])
    proc = run(tool, "perft", "2", "--bench")
    expect(proc.returncode == 0 and "Nodes per second: " in proc.stdout, "--bench: %r" % proc.stdout[-80:])

    for args in [("perft", "0"), ("perft", "3x"), ("perft", "61"), ("perft",),
                 ("perft", "2", "not a fen"),
                 ("perft", "2", "8/8/8/8/8/8/8/8 w - -"),  # no kings
                 ("perft", "2", "4k3/8/8/8/8/8/8/4K2P w - -"),  # pawn on the first rank
                 ("perft", "2", "4k3/4R3/8/8/8/8/8/4K3 w - -")]:  # side not to move in check
        proc = run(tool, *args)
        expect(proc.returncode == 1 and proc.stderr.strip(),
               "%r: exit %d, stderr %r" % (args, proc.returncode, proc.stderr))

    # Castling rights without their men and a misplaced en-passant field are harmless.
    proc = run(tool, "perft", "1", "4k3/8/8/8/8/8/8/4K3 w KQkq e3")
    expect(proc.returncode == 0 and proc.stdout.endswith("\nNodes searched: 5\n"), "stray rights: %r" % proc.stdout)

    return failures.report("perft e2e")


if __name__ == "__main__":
    sys.exit(main())
