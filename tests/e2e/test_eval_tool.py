#!/usr/bin/env python3
"""tavik-tool eval: the breakdown, the total line, statuses and bad input.

usage: test_eval_tool.py <tavik> <tavik-tool>
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Failures, run  # noqa: E402

failures = Failures()
expect = failures.expect


def total(stdout):
    lines = stdout.rstrip("\n").split("\n")
    match = re.fullmatch(r"Total: (-?\d+)(?: \((.+)\))?", lines[-1]) if lines else None
    return (int(match.group(1)), match.group(2)) if match else None


def main():
    if len(sys.argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    tool = sys.argv[2]

    start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"
    proc = run(tool, "eval", start)
    expect(proc.returncode == 0, "start position: exit %d %r" % (proc.returncode, proc.stderr))
    for term in ("material and placement", "pawn structure", "passed-pawn race", "king shelter",
                 "bishop pair", "piece terms", "minor-piece scaling", "endgame recognisers"):
        expect(term in proc.stdout, "start position lacks %r:\n%s" % (term, proc.stdout))
    # Equal material and placement: only the side to move's 10 and equal piece terms.
    expect(total(proc.stdout) == (10, None), "start position total: %r" % proc.stdout[-40:])

    # The FEN may arrive split into its fields.
    proc = run(tool, "eval", *start.split())
    expect(total(proc.stdout) == (10, None), "split FEN: %r" % proc.stdout[-40:])

    # Statuses are named on the total line.
    for fen, expected in [("8/8/4k3/8/8/3BK3/8/8 w - -", (0, "draw")),
                          ("7k/8/6KP/8/8/8/8/3B4 w - -", (0, "draw"))]:
        got = total(run(tool, "eval", fen).stdout)
        expect(got == expected, "%s: %r, expected %r" % (fen, got, expected))
    got = total(run(tool, "eval", "8/6k1/8/8/3K4/8/5R2/8 w - -").stdout)
    expect(got is not None and got[0] > 1000 and got[1] is None, "bare king: %r" % (got,))

    for args in [("eval",), ("eval", "not a fen"),
                 ("eval", "8/8/8/8/8/8/8/8 w - -"),                        # no kings
                 ("eval", "4k3/8/8/8/8/8/8/3KK3 w - -"),                   # two white kings
                 ("eval", "4k3/8/8/8/8/8/8/4K2P w - -"),                   # pawn on the first rank
                 ("eval", "4k3/8/8/8/8/8/8/PPPPPPPP/RNBQKBNR w - -"),      # nine ranks
                 ("eval", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/8 w - -"),
                 ("eval", "4k3/4R3/8/8/8/8/8/4K3 w - -"),                  # side not to move in check
                 ("eval", "QQQQkQQQ/QQQQQQQQ/QQ6/8/8/8/8/4K3 b - -"),      # too many men
                 ("eval", start, "--bench")]:
        proc = run(tool, *args)
        expect(proc.returncode == 1 and proc.stderr.strip() and not proc.stdout,
               "%r: exit %d, stderr %r" % (args, proc.returncode, proc.stderr))

    proc = run(tool, "eval", "--bench")
    expect(proc.returncode == 0 and re.search(r"^Evaluations per second: \d+$", proc.stdout, re.M),
           "--bench: %r" % proc.stdout)

    return failures.report("eval tool e2e")


if __name__ == "__main__":
    sys.exit(main())
