#!/usr/bin/env python3
"""tavik-tool tb probe: file choice, colour reversal, byte meanings, bad input.

usage: test_tb_probe.py <tavik> <tavik-tool>
"""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Failures, run  # noqa: E402

failures = Failures()
expect = failures.expect


def main():
    if len(sys.argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    tool = sys.argv[2]
    with tempfile.TemporaryDirectory() as tables:
        # kqk, Black to move, black king a1 and white king c1: the queen on
        # h8, g8, f8 gives indices 61, 60, 59.
        data = bytearray(28644)
        data[61], data[60], data[59] = 256 - 123, 117, 127
        with open(os.path.join(tables, "kqk.nbb"), "wb") as f:
            f.write(data)
        for fen, expected in [("7Q/8/8/8/8/8/8/k1K5 b - -", "byte -123: Black is mated in 3"),
                              ("6Q1/8/8/8/8/8/8/k1K5 b - -", "byte 117: Black mates in 10"),
                              ("5Q2/8/8/8/8/8/8/k1K5 b - -", "byte 127: no information"),
                              ("8/8/8/8/8/8/3Q4/k1K5 b - -", "byte 0: draw"),
                              # Black owns the queen: read reversed, from the same file.
                              ("K1k5/8/8/8/8/8/8/7q w - -", "byte -123: White is mated in 3")]:
            proc = run(tool, "tb", "probe", tables, fen, timeout=20)
            expect(proc.returncode == 0 and proc.stdout.strip().endswith(expected),
                   "%s: exit %d, %r %r" % (fen, proc.returncode, proc.stdout, proc.stderr))
        proc = run(tool, "tb", "probe", tables, "K1k5/8/8/8/8/8/8/7q w - -", timeout=20)
        expect("class kqk (colours reversed), file %s/kqk.nbb, index 61" % tables in proc.stdout, proc.stdout)

        for args in [(tables, "7Q/8/8/8/8/8/8/k1K5 w - -"),           # no kqk.nbw
                     (tables, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"),
                     (tables, "not a fen"),
                     (tables, "k6Q/8/8/8/8/8/8/2K5 w - -"),           # side not to move in check
                     (os.path.join(tables, "missing"), "7Q/8/8/8/8/8/8/k1K5 b - -")]:
            proc = run(tool, "tb", "probe", *args, timeout=20)
            expect(proc.returncode == 1 and proc.stderr.strip(), "%r: exit %d" % (args, proc.returncode))
        for args in [("tb",), ("tb", "probe", tables), ("tb", "unknown")]:
            proc = run(tool, *args, timeout=20)
            expect(proc.returncode == 2 and "usage" in proc.stderr, "%r: exit %d" % (args, proc.returncode))
    return failures.report("tb probe e2e")


if __name__ == "__main__":
    sys.exit(main())
