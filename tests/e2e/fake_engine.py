#!/usr/bin/env python3
# A UCI engine that misbehaves on purpose, for the match runner's tests:
# "illegal" answers every go with a move no position allows, "crash" exits
# at its first go, "slow" answers only after its clock has run out, "silent"
# never answers a go (but still obeys "quit").
# usage: fake_engine.py illegal|crash|slow|silent
import sys
import time

mode = sys.argv[1]
for line in sys.stdin:
    words = line.split()
    if words[:1] == ["uci"]:
        print("id name Fake %s\noption name Hash type spin default 1 min 1 max 64\nuciok" % mode)
    elif words[:1] == ["isready"]:
        print("readyok")
    elif words[:1] == ["quit"]:
        break
    elif words[:1] == ["go"]:
        if mode == "crash":
            sys.exit(3)
        if mode == "illegal":
            print("bestmove a1a1")
        elif mode == "slow":
            clocks = [int(words[i + 1]) for i, word in enumerate(words) if word in ("wtime", "btime")]
            time.sleep(max(clocks + [0]) / 1000.0 + 0.3)
            print("bestmove 0000")
    sys.stdout.flush()
