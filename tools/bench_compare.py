#!/usr/bin/env python3
"""Search speed of two builds, measured side by side.

usage: bench_compare.py <old git rev> <new tavik-tool> [--runs N] [--depth D]
                        [--scratch DIR]

Builds the old revision as that revision builds itself (`make` in an
exported copy under the scratch folder, reused when already built), then
runs `tavik-tool bench` of both binaries alternately, N times each, and
prints the median nodes per second of each and their ratio (new / old).
Wall-clock rates suffer from other processes on the machine, so rates by
the processor time of each run are printed as well. The per-position
results of the two builds must agree; a difference is reported and ends
the comparison with status 1.
"""
import argparse
import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import time

NPS = re.compile(rb"^Nodes per second: (\d+)$", re.M)
TOTAL = re.compile(rb"^Total nodes: (\d+)$", re.M)
POSITION = re.compile(rb"^Position .*$", re.M)


def build_old(rev, scratch):
    sha = subprocess.run(["git", "rev-parse", "--verify", rev + "^{commit}"], check=True,
                         capture_output=True, text=True).stdout.strip()
    folder = os.path.join(scratch, sha[:12])
    tool = os.path.join(folder, "build", "tavik-tool")
    if os.access(tool, os.X_OK):
        return sha, tool
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    archive = subprocess.Popen(["git", "archive", sha], stdout=subprocess.PIPE)
    subprocess.run(["tar", "-x", "-C", folder], stdin=archive.stdout, check=True)
    if archive.wait() != 0:
        sys.exit("bench_compare: git archive %s failed" % rev)
    print("building %s in %s ..." % (sha[:12], folder), flush=True)
    result = subprocess.run(["make", "-C", folder, "BUILD=build"], stdout=subprocess.DEVNULL)
    if result.returncode != 0 or not os.access(tool, os.X_OK):
        sys.exit("bench_compare: the build of %s failed" % rev)
    return sha, tool


def run_bench(tool, depth):
    """(wall nps, cpu nps, per-position lines, total nodes) of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    out = subprocess.run([tool, "bench", str(depth)], capture_output=True, timeout=3600).stdout
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    nps, total = NPS.search(out), TOTAL.search(out)
    if not nps or not total:
        sys.exit("bench_compare: no bench summary from %s" % tool)
    nodes = int(total.group(1))
    return int(nps.group(1)), nodes / max(cpu, 1e-9), POSITION.findall(out), nodes, wall


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--depth", type=int, default=8)
    parser.add_argument("--scratch", default=os.path.join("build", "bench-compare"))
    args = parser.parse_args()

    sha, old_tool = build_old(args.old, args.scratch)
    tools = {"old": old_tool, "new": args.new}
    wall = {"old": [], "new": []}
    cpu = {"old": [], "new": []}
    results = {}
    for i in range(args.runs):
        # Alternate who goes first so that a slow spell hurts both alike.
        for name in (("old", "new") if i % 2 == 0 else ("new", "old")):
            w, c, lines, nodes, seconds = run_bench(tools[name], args.depth)
            wall[name].append(w)
            cpu[name].append(c)
            print("run %d %s: %d nodes/s (wall), %d nodes/s (cpu), %.1f s" % (i + 1, name, w, c, seconds),
                  flush=True)
            if name in results and results[name] != (lines, nodes):
                sys.exit("bench_compare: %s gave different results from one run to the next" % name)
            results[name] = (lines, nodes)
    if results["old"] != results["new"]:
        print("DIFFERENT SEARCH: old %d nodes, new %d nodes" % (results["old"][1], results["new"][1]))
        for a, b in zip(results["old"][0], results["new"][0]):
            if a != b:
                print("  old: %s\n  new: %s" % (a.decode(), b.decode()))
        return 1

    print("\nbench depth %d, %d runs each, %d nodes per run (same results)" % (args.depth, args.runs,
                                                                             results["new"][1]))
    print("old %s: %s" % (sha[:12], old_tool))
    print("new: %s" % args.new)
    for label, table in (("wall clock", wall), ("processor time", cpu)):
        old, new = statistics.median(table["old"]), statistics.median(table["new"])
        print("%-15s median old %9.0f  new %9.0f  nodes/s  ratio %.3f" % (label, old, new, new / old))
    return 0


if __name__ == "__main__":
    sys.exit(main())
