#!/usr/bin/env python3
"""Tablebases through the real engine: broken files stop it at registration;
with generated 3- and 4-man tables (plain and compressed) it reports the
tables' mate distances and keeps them with its replies.

usage: test_tablebases.py <tavik> <tavik-tool>
"""
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Engine, Failures, run  # noqa: E402


def registration_stops(engine_path, directory):
    """(exit status, last line) of an engine told to use the directory."""
    engine = Engine(engine_path)
    engine.send("setoption name NalimovPath value " + directory, "isready")
    last = None
    while True:
        text = engine.line(10.0)
        if text is None:
            break
        last = text
    return engine.close(), last


def broken_files(engine_path, tool, work, failures):
    plain = os.path.join(work, "plain")
    os.mkdir(plain)
    with open(os.path.join(plain, "kqk.nbw"), "wb") as f:
        f.write(bytes(25628))
    status, last = registration_stops(engine_path, plain)
    failures.expect((status, last) == (1, "*** %s/kqk.nbw corrupted" % plain),
                    "wrong-size plain file: %r %r" % (status, last))

    packed = os.path.join(work, "packed")
    os.mkdir(packed)
    name = os.path.join(packed, "kqk.nbb")
    with open(name, "wb") as f:
        f.write(bytes(range(256)) * 111 + bytes(28644 - 256 * 111))
    proc = run(tool, "tb", "compress", name)
    failures.expect(proc.returncode == 0, "tb compress: %s" % proc.stderr)
    os.remove(name)
    with open(name + ".emd", "r+b") as f:
        f.seek(90)
        byte = f.read(1)
        f.seek(90)
        f.write(bytes([byte[0] ^ 4]))
    status, last = registration_stops(engine_path, packed)
    failures.expect((status, last) == (1, "*** Unable to read %s.emd -file broken" % name),
                    "flipped header byte: %r %r" % (status, last))


def main():
    engine_path, tool = sys.argv[1], sys.argv[2]
    failures = Failures()
    work = tempfile.mkdtemp(prefix="tavik-tb-")
    try:
        broken_files(engine_path, tool, work, failures)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return failures.report("test_tablebases")


if __name__ == "__main__":
    sys.exit(main())
