#!/usr/bin/env python3
"""tb probe: file choice, colour reversal, byte meanings, bad input. usage: test_tb_probe.py <tavik> <tavik-tool>"""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Failures, run  # noqa: E402


def main():
    failures = Failures()
    with tempfile.TemporaryDirectory() as tables:
        # kqk, Black to move, kings a1 (black) and c1: a queen on f8, g8, h8 is index 59, 60, 61.
        with open(os.path.join(tables, "kqk.nbb"), "wb") as f:
            f.write(bytes(59) + bytes([127, 117, 256 - 123]) + bytes(28644 - 62))
        for fen, expected in [("7Q/8/8/8/8/8/8/k1K5 b - -", "index 61\nbyte -123: Black is mated in 3"),
                              ("6Q1/8/8/8/8/8/8/k1K5 b - -", "byte 117: Black mates in 10"),
                              ("5Q2/8/8/8/8/8/8/k1K5 b - -", "byte 127: no information"),
                              ("8/8/8/8/8/8/3Q4/k1K5 b - -", "byte 0: draw"),
                              # Black owns the queen: read colour-reversed from the same file.
                              ("K1k5/8/8/8/8/8/8/7q w - -", "(colours reversed), file %s/kqk.nbb, index 61\n"
                               "byte -123: White is mated in 3" % tables)]:
            proc = run(sys.argv[2], "tb", "probe", tables, fen, timeout=20)
            failures.expect(proc.returncode == 0 and proc.stdout.strip().endswith(expected), "%s: %r" % (fen, proc))
        # No kqk.nbw; no class; bad FEN; side not to move in check; no directory; missing arguments.
        for args, status in [((tables, "7Q/8/8/8/8/8/8/k1K5 w - -"), 1), ((tables, "8/8/8/8/8/8/8/k1K5 w - -"), 1),
                             ((tables, "not a fen"), 1), ((tables, "k6Q/8/8/8/8/8/8/2K5 w - -"), 1),
                             ((tables + "/missing", "7Q/8/8/8/8/8/8/k1K5 b - -"), 1), ((tables,), 2), ((), 2)]:
            proc = run(sys.argv[2], "tb", "probe", *args, timeout=20)
            failures.expect(proc.returncode == status and proc.stderr.strip(), "%r: %r" % (args, proc))
    return failures.report("tb probe e2e")


if __name__ == "__main__":
    sys.exit(main())
