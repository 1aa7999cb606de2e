#!/usr/bin/env python3
"""tavik-tool tb probe: file choice, colour reversal, byte meanings, bad input.

usage: test_tb_probe.py <tavik> <tavik-tool>
"""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Failures, run  # noqa: E402


def main():
    failures = Failures()
    tool = sys.argv[2]
    with tempfile.TemporaryDirectory() as tables:
        # kqk, Black to move, kings a1 (black) and c1: a queen on h8, g8, f8 is index 61, 60, 59.
        data = bytearray(28644)
        data[59:62] = bytes([127, 117, 256 - 123])
        with open(os.path.join(tables, "kqk.nbb"), "wb") as f:
            f.write(data)
        for fen, expected in [("7Q/8/8/8/8/8/8/k1K5 b - -", "index 61\nbyte -123: Black is mated in 3"),
                              ("6Q1/8/8/8/8/8/8/k1K5 b - -", "byte 117: Black mates in 10"),
                              ("5Q2/8/8/8/8/8/8/k1K5 b - -", "byte 127: no information"),
                              ("8/8/8/8/8/8/3Q4/k1K5 b - -", "byte 0: draw"),
                              # Black owns the queen: read colour-reversed from the same file.
                              ("K1k5/8/8/8/8/8/8/7q w - -", "(colours reversed), file %s/kqk.nbb, index 61\n"
                               "byte -123: White is mated in 3" % tables)]:
            proc = run(tool, "tb", "probe", tables, fen, timeout=20)
            failures.expect(proc.returncode == 0 and proc.stdout.strip().endswith(expected),
                            "%s: exit %d, %r %r" % (fen, proc.returncode, proc.stdout, proc.stderr))
        for args, status in [((tables, "7Q/8/8/8/8/8/8/k1K5 w - -"), 1),  # no kqk.nbw
                             ((tables, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"), 1),
                             ((tables, "not a fen"), 1),
                             ((tables, "k6Q/8/8/8/8/8/8/2K5 w - -"), 1),  # side not to move in check
                             ((tables + "/missing", "7Q/8/8/8/8/8/8/k1K5 b - -"), 1),
                             ((tables,), 2), (("",), 2)]:
            proc = run(tool, "tb", "probe", *args, timeout=20)
            failures.expect(proc.returncode == status and proc.stderr.strip(), "%r: exit %d" % (args, proc.returncode))
    return failures.report("tb probe e2e")


if __name__ == "__main__":
    sys.exit(main())
