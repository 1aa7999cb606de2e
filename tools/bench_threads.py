#!/usr/bin/env python3
# Helper threads measured through the engine's own protocol:
#  - time to depth: "go depth D" on every bench position (table cleared before
#    each), total wall time from "go" to "bestmove" with each thread count;
#  - nodes/s: "go movetime M" on the first positions, nodes over time.
# Usage: bench_threads.py <tavik> [--depth 11] [--threads 1,2] [--nps-threads 1,2,4]
#                         [--movetime 2000] [--nps-positions 6] [--hash 64]
import argparse
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def bench_positions():  # the FENs of tavik-tool bench, in its order
    text = open(os.path.join(HERE, "..", "src", "frontend", "bench_positions.h")).read()
    return re.findall(r'^\s*"([^"]+)",', text, re.M)


class Engine:
    def __init__(self, path, threads, hash_mb):
        self.proc = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
        self.send("uci")
        self.until("uciok")
        self.send("setoption name Hash value %d" % hash_mb, "setoption name Threads value %d" % threads,
                  "setoption name OwnBook value false")
        self.ready()

    def send(self, *lines):
        for line in lines:
            self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def until(self, prefix):
        lines = []
        while True:
            line = self.proc.stdout.readline()
            if not line:
                raise RuntimeError("the engine ended")
            lines.append(line.strip())
            if line.startswith(prefix):
                return lines

    def ready(self):
        self.send("isready")
        self.until("readyok")

    def search(self, fen, go):  # (seconds, nodes, depth reached)
        self.send("setoption name Clear Hash", "position fen " + fen)
        self.ready()
        start = time.monotonic()
        self.send(go)
        lines = self.until("bestmove")
        seconds = time.monotonic() - start
        nodes = [int(l.split()[4]) for l in lines if l.startswith("info nps ")]
        depths = [int(m.group(1)) for l in lines for m in [re.search(r" depth (\d+) ", l)] if m]
        return seconds, nodes[-1] if nodes else 0, max(depths, default=0)

    def close(self):
        self.send("quit")
        self.proc.wait(10)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tavik")
    parser.add_argument("--depth", type=int, default=11)
    parser.add_argument("--threads", default="1,2")
    parser.add_argument("--nps-threads", default="1,2,4")
    parser.add_argument("--movetime", type=int, default=2000)
    parser.add_argument("--nps-positions", type=int, default=6)
    parser.add_argument("--hash", type=int, default=64)
    args = parser.parse_args()
    fens = bench_positions()

    if args.depth > 0:
        print("time to depth %d over %d positions (Hash %d MB, table cleared before each)" %
              (args.depth, len(fens), args.hash))
        base = None
        for threads in [int(t) for t in args.threads.split(",") if t]:
            engine = Engine(args.tavik, threads, args.hash)
            total, nodes, each = 0.0, 0, []
            for fen in fens:
                seconds, n, _ = engine.search(fen, "go depth %d" % args.depth)
                total, nodes = total + seconds, nodes + n
                each.append(seconds)
            engine.close()
            base = base or total
            print("  Threads %d: %8.2f s  %12d nodes  %8d nodes/s  speed-up %.2f" %
                  (threads, total, nodes, nodes / total, base / total), flush=True)
            print("    per position s: " + " ".join("%.2f" % s for s in each), flush=True)

    if args.nps_positions > 0 and args.movetime > 0:
        print("nodes/s: go movetime %d on the first %d positions" % (args.movetime, args.nps_positions))
        base = None
        for threads in [int(t) for t in args.nps_threads.split(",") if t]:
            engine = Engine(args.tavik, threads, args.hash)
            total, nodes = 0.0, 0
            for fen in fens[:args.nps_positions]:
                seconds, n, _ = engine.search(fen, "go movetime %d" % args.movetime)
                total, nodes = total + seconds, nodes + n
            engine.close()
            base = base or nodes / total
            print("  Threads %d: %10d nodes/s  (x%.2f)" % (threads, nodes / total, nodes / total / base), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
