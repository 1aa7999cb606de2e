#!/usr/bin/env python3
"""Test mode: "tavik Fen <tests> <results> [seconds]". usage: test_testmode.py <tavik> <tavik-tool>"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Failures  # noqa: E402

check = Failures()
FENS = ["r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3", "8/8/8/4k3/8/8/2r5/K2Q4 w - - 0 1"]
RECORD = r"%s(\d\d)\) (\d+)ms 0\.0%% (\d+)kn/s"
RESULT = re.compile(r"(\d\d)\) (\d+) (\d+) 0 \(fen\)(.*)")


def tavik(exe, cwd, *args, stdin=""):
    proc = subprocess.run([exe, *args], input=stdin, capture_output=True, text=True, cwd=cwd, timeout=60)
    check.expect("Sanitizer" not in proc.stderr and "runtime error" not in proc.stderr, proc.stderr[:2000])
    return proc


def main():
    exe = os.path.abspath(sys.argv[1])
    tmp = tempfile.mkdtemp(prefix="tavik-testmode-")
    try:
        with open(os.path.join(tmp, "tests.txt"), "w") as f:
            # A recorded time of 0 ms must not divide by zero.
            f.write("04) 0 0 0 (fen) %s\n05) 200 300000 0 (fen) %s\n" % tuple(FENS))
        proc = tavik(exe, tmp, "Fen", "tests.txt", "first.txt")
        out = proc.stdout
        check.expect(proc.returncode == 0 and out.startswith("fen %s\ndepth 4\n\n ===" % FENS[0]), "start: %r" % out[:200])
        check.expect(("fen %s\ndepth 5\n" % FENS[1]) in out, "second position: %r" % out)
        olds = re.findall(RECORD % "OLD:", out)
        news = re.findall(RECORD % "NEW:", out)
        check.expect([o[:3] for o in olds] == [("04", "0", "0"), ("05", "200", "1500")] and len(news) == 2,
                     "OLD/NEW lines: %r" % out)
        check.expect(re.search(r"\n\n-------------------------------------------\nOLD Kn/s moyen : \d+\n"
                               r"New Kn/s moyen : \d+\n\.\.\.:\d+\.\d{6}\n$", out), "summary: %r" % out[-200:])
        with open(os.path.join(tmp, "first.txt")) as f:
            first = [RESULT.fullmatch(line.rstrip("\n")) for line in f]
        check.expect(all(first) and [m.group(1) for m in first] == ["04", "05"] and
                     [m.group(4) for m in first] == [" " + fen for fen in FENS], "results file: %r" % first)
        # Fed back, a results file gives the same depths and node counts.
        tavik(exe, tmp, "Fen", "first.txt", "second.txt")
        with open(os.path.join(tmp, "second.txt")) as f:
            second = [RESULT.fullmatch(line.rstrip("\n")) for line in f]
        check.expect(all(second) and [(m.group(1), m.group(3)) for m in second] ==
                     [(m.group(1), m.group(3)) for m in first], "fed back: %r" % second)

        # Node counts of 2^31 and more: written by this script as a results file, read back
        # unsigned 64-bit; a negative count (older versions wrote them so) as its 32 bits.
        with open(os.path.join(tmp, "big.txt"), "w") as f:
            f.write("03) 1000 5000000000 0 (fen) %s\n03) 1000 -1294967296 0 (fen) %s\n" % tuple(FENS))
        out = tavik(exe, tmp, "Fen", "big.txt", "big-results.txt").stdout
        check.expect([o[2] for o in re.findall(RECORD % "OLD:", out)] == ["5000000", "3000000"] and
                     "\nOLD Kn/s moyen : 4000000\n" in out, "big counts: %r" % out)

        # With seconds: one position, no OLD lines, ratio score 100.
        with open(os.path.join(tmp, "fens.txt"), "w") as f:
            f.write(FENS[1] + "\n")
        out = tavik(exe, tmp, "Fen", "fens.txt", "timed.txt", "1").stdout
        check.expect(out.startswith("temps max : 1\nfen %s\nmovetime 1000\n" % FENS[1]) and "OLD" not in out and
                     "...:100.000000\n ===" in out, "timed run: %r" % out)
        # 0 would be no limit at all (a search without end): at least a second.
        out = tavik(exe, tmp, "Fen", "fens.txt", "timed.txt", "0").stdout
        check.expect(out.startswith("seconds 0 out of range 1..86400, using 1\ntemps max : 1\n") and
                     "movetime 1000\n" in out, "seconds 0: %r" % out[:200])
        proc = tavik(exe, tmp, "Fen", "missing.txt", "out.txt")
        check.expect(proc.stdout == "Erreur ouverture du fichier missing.txt\n" and proc.returncode == 0,
                     "unreadable test file: %r" % proc.stdout)
        # Lower-case "fen", or a results file that cannot be created: the UCI engine starts.
        for args in [("fen", "tests.txt", "x.txt"), ("Fen", "tests.txt", "no/such/dir/x.txt")]:
            proc = tavik(exe, tmp, *args, stdin="uci\nquit\n")
            check.expect("uciok" in proc.stdout and "fen" not in proc.stdout, "%s: %r" % (args, proc.stdout[-100:]))
    finally:
        shutil.rmtree(tmp)
    return check.report("test_testmode")


if __name__ == "__main__":
    sys.exit(main())
