#!/usr/bin/env python3
# tavik-tool: the commands of tests/data/tool_cases.txt and the bench (its
# node total pins the search and evaluation); the engine's own "tavik bench".
# usage: test_tool.py <tavik> <tavik-tool>
import os
import re
import shlex
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from uci_client import run  # noqa: E402

BENCH_DEPTH_4_NODES = 204504
ROW = re.compile(r"Position +\d+/\d+: bestmove \S+ +score (?:cp -?\d+|mate \d+) +nodes (\d+)")


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: test_tool.py <tavik> <tavik-tool>")
    tavik, tool, failures = sys.argv[1], sys.argv[2], []

    def expect(condition, message):
        if not condition:
            failures.append(message)
        return condition

    for line in open(os.path.join(HERE, "..", "data", "tool_cases.txt")):
        if line.strip() and not line.startswith("#"):
            status, args, pattern = (field.strip() for field in line.split("|", 2))
            proc = run(tool, *shlex.split(args))
            good = re.search(pattern, proc.stdout) if status == "0" else not proc.stdout and proc.stderr.strip()
            expect(proc.returncode == int(status) and good, "%s: exit %d\n%s%s" % (
                args, proc.returncode, proc.stdout, proc.stderr))

    proc = run(tool, "bench", "4")
    rows = [ROW.fullmatch(text) for text in proc.stdout.split("\n") if text.startswith("Position")]
    total = re.search(r"^Total nodes: (\d+)\nTime: \d+ ms\nNodes per second: \d+\n\Z", proc.stdout, re.M)
    if expect(proc.returncode == 0 and len(rows) >= 25 and all(rows) and total, "bench: " + proc.stdout):
        expect(int(total.group(1)) == sum(int(m.group(1)) for m in rows) == BENCH_DEPTH_4_NODES,
               "bench 4 total %s" % total.group(1))
        # A position searched alone gives what it gave after all the others.
        fen = [text.strip().strip(",").strip('"') for text in open(os.path.join(HERE, "..", "..", "src",
               "frontend", "bench_positions.h")) if text.startswith('    "')][7]
        alone = ROW.fullmatch(run(tool, "bench", "4", *fen.split()).stdout.split("\n")[0])
        expect(alone and alone.group(0).split(":", 1)[1] == rows[7].group(0).split(":", 1)[1],
               "position 8 alone: %r" % (alone and alone.group(0)))

    # The engine runs the same bench; test frameworks read its last line.
    proc = run(tavik, "bench", "4")
    last = re.fullmatch(r"(\d+) nodes (\d+) nps", proc.stdout.rstrip("\n").split("\n")[-1])
    expect(proc.returncode == 0 and last and int(last.group(1)) == BENCH_DEPTH_4_NODES and int(last.group(2)) > 0,
           "tavik bench 4: exit %d\n%s" % (proc.returncode, proc.stdout[-300:]))
    for args in (["bench", "0"], ["bench", "4x"]):
        proc = run(tavik, *args)
        expect(proc.returncode == 1 and "depth" in proc.stderr, "tavik %s: exit %d" % (" ".join(args), proc.returncode))
    # Any other first argument still starts the protocol.
    proc = subprocess.run([tavik, "benchmark"], input="uci\nquit\n", capture_output=True, text=True, timeout=10)
    expect(proc.returncode == 0 and "uciok" in proc.stdout, "tavik benchmark: %r" % proc.stdout[-200:])
    print("".join("FAIL: %s\n" % text for text in failures) + "tavik-tool: %d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
