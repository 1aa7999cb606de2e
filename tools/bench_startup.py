#!/usr/bin/env python3
"""Launch-to-"uciok" time of the engine.

Usage: python3 tools/bench_startup.py [path/to/tavik] [runs]
Starts the engine `runs` times (default 20), sends "uci" at once and
measures the wall time until "uciok" arrives; prints min/median/max in ms.
"""
import os
import select
import statistics
import subprocess
import sys
import time


def one_run(engine):
    start = time.perf_counter()
    proc = subprocess.Popen([engine], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    proc.stdin.write(b"uci\n")
    proc.stdin.flush()
    seen = b""
    deadline = start + 10.0
    elapsed = None
    while time.perf_counter() < deadline:
        ready, _, _ = select.select([proc.stdout], [], [], 0.5)
        if not ready:
            continue
        chunk = os.read(proc.stdout.fileno(), 65536)
        if not chunk:
            break
        seen += chunk
        if b"uciok\n" in seen:
            elapsed = (time.perf_counter() - start) * 1000.0
            break
    try:
        proc.stdin.write(b"quit\n")
        proc.stdin.close()
    except OSError:
        pass
    try:
        proc.wait(5)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
    proc.stdout.close()
    return elapsed


def main():
    engine = sys.argv[1] if len(sys.argv) > 1 else "build/tavik"
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    if not os.access(engine, os.X_OK):
        print("bench_startup: %s is not an executable; build it first" % engine)
        return 2
    times = []
    for _ in range(runs):
        elapsed = one_run(engine)
        if elapsed is None:
            print("bench_startup: no uciok within 10 s")
            return 1
        times.append(elapsed)
    print("startup to uciok over %d runs: min %.1f ms, median %.1f ms, max %.1f ms"
          % (runs, min(times), statistics.median(times), max(times)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
