#!/usr/bin/env python3
"""make install into a scratch prefix: the installed engine answers "uci",
both manual pages render without warnings, tavik-tool --version, make uninstall.

usage: test_install.py <tavik> <tavik-tool>
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Engine, Failures, run  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
FILES = ["bin/tavik", "bin/tavik-tool", "share/man/man6/tavik.6", "share/man/man6/tavik-tool.6"]


def make(target, build, prefix):
    return subprocess.run(["make", "-s", "-C", ROOT, target, "BUILD=" + build, "PREFIX=" + prefix],
                          capture_output=True, text=True, timeout=60)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    check = Failures()
    build = os.path.dirname(os.path.abspath(sys.argv[1]))
    with tempfile.TemporaryDirectory() as prefix:
        done = make("install-files", build, prefix)
        check.expect(done.returncode == 0, "make install: " + done.stderr)
        check.expect(all(os.path.isfile(os.path.join(prefix, f)) for f in FILES), "installed: %r" % FILES)
        if not check.messages:
            engine = Engine(os.path.join(prefix, "bin/tavik"))
            got = engine.sync("uci")
            check.expect(got[0] == "id name Tavik5.60" and got[-1] == "uciok", "handshake %r" % got)
            check.expect(engine.close()[0] == 0, "exit status")
            env = dict(os.environ, MANWIDTH="80", MANPAGER="cat", LC_ALL="C.UTF-8")
            for page in ("tavik", "tavik-tool"):
                shown = subprocess.run(["man", "--warnings", "-l", os.path.join(prefix, "share/man/man6", page + ".6")],
                                       capture_output=True, text=True, timeout=30, env=env)
                check.expect(shown.returncode == 0 and shown.stderr == "" and "EXIT STATUS" in shown.stdout,
                             "man %s: %d %r" % (page, shown.returncode, shown.stderr))
            version = subprocess.run(["sh", os.path.join(ROOT, "tools/version.sh")], capture_output=True, text=True)
            shown = run(os.path.join(prefix, "bin/tavik-tool"), "--version")
            check.expect(shown.stdout == "tavik-tool %s\n" % version.stdout.strip(), "version %r" % shown.stdout)
        done = make("uninstall", build, prefix)
        left = [f for f in FILES if os.path.exists(os.path.join(prefix, f))]
        check.expect(done.returncode == 0 and not left, "make uninstall left %r %s" % (left, done.stderr))
    return check.report("install")


if __name__ == "__main__":
    sys.exit(main())
