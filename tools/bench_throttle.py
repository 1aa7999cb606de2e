#!/usr/bin/env python3
"""The "% CPU" throttle measured: process CPU time against wall time.

Usage: python3 tools/bench_throttle.py [path/to/tavik] [--nodes N] [--shares 100,50,25]
For each share a fresh engine runs the same searches of N nodes (default 8
million) each, the table cleared before every one; the script reads the
process's user and system time from /proc before and after each search and
the wall time from "go" to "bestmove". The throttle averages the search thread's user time over
each search, so CPU / wall should settle near the share. Linux only (/proc).
"""
import argparse
import os
import select
import subprocess
import sys
import time

# A quiet middlegame, a tactical one and an ending: the throttle should hold
# whatever the search is doing.
POSITIONS = [
    "r2q1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N2N2/PP2BPPP/R2Q1RK1 w - - 0 10",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/4kp2/6p1/1p1n3p/1P5P/4B1P1/5PK1/8 w - - 0 40",
]
TICK = os.sysconf("SC_CLK_TCK")


class Engine:
    def __init__(self, path):
        self.proc = subprocess.Popen([os.path.abspath(path)], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, cwd="/")  # no book in "/"
        self.pending = b""

    def send(self, *lines):
        self.proc.stdin.write("".join(line + "\n" for line in lines).encode())
        self.proc.stdin.flush()

    def until(self, prefix, timeout):  # the lines up to and including the first that starts with prefix
        deadline, lines = time.monotonic() + timeout, []
        while True:
            while b"\n" in self.pending:
                line, self.pending = self.pending.split(b"\n", 1)
                lines.append(line.decode("latin-1"))
                if lines[-1].startswith(prefix):
                    return lines
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.proc.stdout], [], [], left)[0]:
                raise RuntimeError("no %r within %.0f s" % (prefix, timeout))
            chunk = os.read(self.proc.stdout.fileno(), 65536)
            if not chunk:
                raise RuntimeError("the engine ended")
            self.pending += chunk

    def cpu_seconds(self):  # user + system time of the whole process (both threads)
        with open("/proc/%d/stat" % self.proc.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICK

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(10)


def measure(path, share, nodes_per_search):  # wall s, cpu s, nodes, the engine's own cpuload figures
    engine = Engine(path)
    try:
        engine.send("uci")
        engine.until("uciok", 10)
        engine.send("setoption name %% CPU value %d" % share, "isready")
        engine.until("readyok", 10)
        wall = cpu = 0.0
        nodes, loads = 0, []
        for fen in POSITIONS:
            engine.send("setoption name Clear Hash", "position fen " + fen, "isready")
            engine.until("readyok", 10)
            cpu_before, start = engine.cpu_seconds(), time.monotonic()
            engine.send("go nodes %d" % nodes_per_search)
            lines = engine.until("bestmove", 3600)
            wall += time.monotonic() - start
            cpu += engine.cpu_seconds() - cpu_before
            nodes += int(next(l for l in lines if l.startswith("info nps")).split()[4])
            loads.append(int(next(l for l in lines if l.startswith("info cpuload")).split()[2]))
        return wall, cpu, nodes, loads
    finally:
        engine.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("engine", nargs="?", default="build/tavik")
    parser.add_argument("--nodes", type=int, default=8000000)
    parser.add_argument("--shares", default="100,50,25")
    args = parser.parse_args()
    if not os.access(args.engine, os.X_OK):
        print("bench_throttle: %s is not an executable; build it first" % args.engine)
        return 2
    if not os.path.exists("/proc/self/stat"):
        print("bench_throttle: needs /proc (Linux)")
        return 2
    print("%d positions, %d nodes each; load average before: %s" % (len(POSITIONS), args.nodes,
                                                                 " ".join(open("/proc/loadavg").read().split()[:3])))
    print("share   wall s   cpu s   cpu/wall   engine cpuload (per mille, per search)   nodes   cpu us/knode")
    for share in (int(s) for s in args.shares.split(",")):
        wall, cpu, nodes, loads = measure(args.engine, share, args.nodes)
        print("%4d%%  %7.2f  %6.2f   %6.1f%%    %-40s %d   %.0f" % (share, wall, cpu, 100 * cpu / wall,
                                                                   " ".join(map(str, loads)), nodes, 1e6 * cpu / (nodes / 1000)))
    print("load average after: %s" % " ".join(open("/proc/loadavg").read().split()[:3]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
