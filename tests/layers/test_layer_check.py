#!/usr/bin/env python3
# The layer check itself: it passes over the tree as it stands and fails on a
# copy with one include planted against the order, or a cycle among the
# front end's modules.
# usage: test_layer_check.py <layer_check.py> <src folder>
import os
import shutil
import subprocess
import sys
import tempfile

script, src = sys.argv[1], sys.argv[2]
failures = []


def run(tree):
    done = subprocess.run([sys.executable, script, tree], capture_output=True, text=True)
    return done.returncode, done.stdout


def planted(relative, line, expected):
    with tempfile.TemporaryDirectory() as scratch:
        tree = os.path.join(scratch, "src")
        shutil.copytree(src, tree)
        with open(os.path.join(tree, relative), "a", encoding="utf-8") as f:
            f.write("\n" + line + "\n")
        code, out = run(tree)
        if code != 1 or expected not in out:
            failures.append("%s planted in %s: exit %d, output\n%s" % (line, relative, code, out))


code, out = run(src)
if code != 0:
    failures.append("the tree itself fails:\n" + out)
planted("board/board.cpp", '#include "search/search.h"', "board/board.cpp includes search/search.h: search is above board")
planted("eval/evaluate.h", '#include "frontend/uci.h"', "frontend is above eval")
planted("search/alphabeta.cpp", '#include "nowhere/thing.h"', "no such layer")
planted("frontend/engine_state.h", '#include "frontend/driver.h"', "cycle in frontend")

for f in failures:
    print("FAIL: " + f)
sys.exit(1 if failures else 0)
