#!/usr/bin/env python3
"""tavik-tool perft: shallow published totals, output form and bad input.

usage: test_perft.py <tavik> <tavik-tool>
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import perft_check  # noqa: E402

failures = []


def expect(condition, message):
    if not condition:
        failures.append(message)


def run(tool, *args):
    return subprocess.run([tool, *args], capture_output=True, text=True, timeout=120)


def test_published_totals(tool):
    log = []

    class Sink:
        def write(self, text):
            log.append(text)

        def flush(self):
            pass

    bad = perft_check.check(tool, deep=False, out=Sink())
    expect(bad == 0, "published shallow totals:\n" + "".join(line for line in log if line.startswith("FAIL")))


def test_output_form(tool):
    # Promotions print in lower case, moves sorted, a blank line, then the total.
    proc = run(tool, "perft", "1", "4k3/P7/8/8/8/8/8/4K3 w - - 0 1")
    expect(proc.returncode == 0, "promotion position: exit %d" % proc.returncode)
    lines = proc.stdout.split("\n")
    expect(lines[:4] == ["a7a8b: 1", "a7a8n: 1", "a7a8q: 1", "a7a8r: 1"], "promotion lines: %r" % lines[:4])
    expect("" in lines and lines[lines.index("") + 1] == "Nodes searched: 9",
           "blank line then total: %r" % proc.stdout)

    # The FEN may also arrive split into several arguments.
    proc = run(tool, "perft", "2", *"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -".split())
    expect(proc.stdout.rstrip().endswith("Nodes searched: 191"), "split FEN: %r" % proc.stdout[-60:])

    proc = run(tool, "perft", "3")
    expect(proc.stdout.rstrip().endswith("Nodes searched: 8902"), "default start position: %r" % proc.stdout[-60:])

    proc = run(tool, "perft", "2", "--bench")
    expect(proc.returncode == 0 and "Nodes per second: " in proc.stdout, "--bench: %r" % proc.stdout[-80:])


def test_bad_input(tool):
    cases = [
        ("perft", "0"),
        ("perft", "x"),
        ("perft", "3x"),
        ("perft", "99"),
        ("perft", "2", "not a fen"),
        ("perft", "2", "8/8/8/8/8/8/8/8 w - -"),                        # no kings
        ("perft", "2", "4k3/8/8/8/8/8/8/4K2P w - -"),                    # pawn on the first rank
        ("perft", "2", "4k3/8/8/8/8/8/8/4KK2 w - -"),                    # two white kings
        ("perft", "2", "4k3/4R3/8/8/8/8/8/4K3 w - -"),                   # side not to move in check
        ("perft", "2", "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w"),  # rank too long
        ("perft",),
    ]
    for args in cases:
        proc = run(tool, *args)
        expect(proc.returncode == 1, "%r: exit %d (stderr %r)" % (args, proc.returncode, proc.stderr))
        expect(proc.stderr.strip() != "", "%r: no error message" % (args,))

    # Questionable but usable input must still work: rights without the rook
    # are dropped and a misplaced en-passant field is ignored.
    proc = run(tool, "perft", "1", "4k3/8/8/8/8/8/8/4K3 w KQkq e6")
    expect(proc.returncode == 0 and proc.stdout.rstrip().endswith("Nodes searched: 5"),
           "bare kings with stray rights: %r %r" % (proc.stdout[-40:], proc.stderr))


def main():
    if len(sys.argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    tool = sys.argv[2]
    test_published_totals(tool)
    test_output_form(tool)
    test_bad_input(tool)
    for message in failures:
        print("FAIL:", message)
    print("perft e2e: %s" % ("ok" if not failures else "%d failures" % len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
