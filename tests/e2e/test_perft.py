#!/usr/bin/env python3
# tavik-tool perft against the shallow published totals (its own script, so
# that it runs beside the other end-to-end tests).
# usage: test_perft.py <tavik> <tavik-tool>
import io
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import perft_check  # noqa: E402

if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: test_perft.py <tavik> <tavik-tool>")
    log = io.StringIO()
    failures = perft_check.check(sys.argv[2], deep=False, out=log)
    print(log.getvalue() + "perft: %d mismatch(es)" % failures)
    sys.exit(1 if failures else 0)
