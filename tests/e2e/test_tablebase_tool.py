#!/usr/bin/env python3
"""tavik-tool tb generate, plan, verify and compress: file sizes, resuming, the plan, proof, a corrupted byte, bad input.

usage: test_tablebase_tool.py <tavik> <tavik-tool>
"""
import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Failures, run  # noqa: E402

failures = Failures()
expect = failures.expect

# Plain file sizes by class: White to move, Black to move.
SIZES = {"kpk": (81664, 84012), "knk": (26282, 28644), "kbk": (27243, 28644),
         "krk": (27030, 28644), "kqk": (25629, 28644)}


def check_files(tool, tmp):
    """tb check: whole files pass; a flipped bit, a short file and a byte that is no result are named."""
    proc = run(tool, "tb", "compress", os.path.join(tmp, "kpk.nbb"), timeout=60)
    expect(proc.returncode == 0, "compress kpk.nbb: %r" % proc.stderr)
    names = [name + ext for name in SIZES for ext in (".nbw", ".nbb")] + ["kpk.nbb.emd"]
    proc = run(tool, "tb", "check", *[os.path.join(tmp, n) for n in names], timeout=60)
    expect(proc.returncode == 0 and proc.stdout.count(": ok (") == len(names) and
           "kpk.nbb.emd: ok (11 blocks, 84012 bytes)" in proc.stdout, "check whole files: %r" % proc.stdout)

    damaged = os.path.join(tmp, "damaged")
    os.mkdir(damaged)
    with open(os.path.join(tmp, "kpk.nbb.emd"), "rb") as f:
        data = bytearray(f.read())
    data[-1] ^= 0x10  # in the last block's compressed data
    with open(os.path.join(damaged, "kpk.nbb.emd"), "wb") as f:
        f.write(data)
    with open(os.path.join(tmp, "kqk.nbb"), "rb") as f:
        data = bytearray(f.read())
    with open(os.path.join(damaged, "kqk.nbb"), "wb") as f:
        f.write(data[:-1])
    data[1000] = 0x80
    with open(os.path.join(damaged, "kqk.nbw"), "wb") as f:
        f.write(data[:SIZES["kqk"][0]])
    proc = run(tool, "tb", "check", os.path.join(tmp, "krk.nbw"), *[os.path.join(damaged, n) for n in
               ("kpk.nbb.emd", "kqk.nbb", "kqk.nbw")], timeout=60)
    lines = proc.stdout.splitlines()
    expect(proc.returncode == 1 and len(lines) == 4 and lines[0].endswith("krk.nbw: ok (27030 bytes)") and
           lines[1].endswith("kpk.nbb.emd: block 10 of 11: compressed data checksum wrong") and
           lines[2].endswith("kqk.nbb: 28643 bytes, expected 28644") and
           lines[3].endswith("kqk.nbw: byte 1000 holds -128, not a result"), "check damaged files: %r" % proc.stdout)

    # A five-man class may hold results past a byte (-128: mate in 127); a
    # sparse file of the class's size stands for one.
    long_file = os.path.join(damaged, "kppkp.nbw")
    with open(long_file, "wb") as f:
        f.truncate(84219361)
        f.seek(1000)
        f.write(b"\x80")
    proc = run(tool, "tb", "check", long_file, timeout=60)
    expect(proc.returncode == 0 and proc.stdout.endswith("kppkp.nbw: ok (84219361 bytes)\n"),
           "check a five-man file with a long result: %r" % proc.stdout)
    os.remove(long_file)


def check_compress(tool, tmp):
    """tb compress: threads give the same files; a whole .emd is skipped, an interrupted, damaged or stale one redone."""
    packed = os.path.join(tmp, "packed")
    os.mkdir(packed)
    names = ["kpk.nbw", "kpk.nbb", "krk.nbw"]
    path = lambda name: os.path.join(packed, name)
    read = lambda name: open(name, "rb").read()
    for name in names:
        shutil.copy(os.path.join(tmp, name), packed)
    proc = run(tool, "tb", "compress", "--threads", "1", *map(path, names), timeout=60)
    expect(proc.returncode == 0 and proc.stdout.count(" bytes (") == 3, "compress one thread: %r" % proc.stderr)
    one = {name: read(path(name + ".emd")) for name in names}
    expect(one["kpk.nbb"] == read(os.path.join(tmp, "kpk.nbb.emd")), "one thread and every core differ")

    with open(path("kpk.nbw.emd"), "r+b") as f:  # as an older, interrupted run left it
        f.truncate(1000)
    with open(path("krk.nbw.emd.part"), "wb") as f:
        f.write(b"\x01" * 100)
    with open(path("krk.nbw"), "r+b") as f:  # the table made again after compression
        f.seek(500)
        f.write(b"\x00" if f.read(1) != b"\x00" else b"\x01")
    kept = os.stat(path("kpk.nbb.emd")).st_ino
    proc = run(tool, "tb", "compress", "--threads", "2", *map(path, names), timeout=60)
    expect(proc.returncode == 0 and "kpk.nbb.emd: already compressed, skipped" in proc.stdout and
           "kpk.nbw.emd: 81664 -> " in proc.stdout and "krk.nbw.emd: 27030 -> " in proc.stdout,
           "compress again: %r" % proc.stdout)
    expect(os.stat(path("kpk.nbb.emd")).st_ino == kept, "a whole compressed file was rewritten")
    expect(read(path("kpk.nbw.emd")) == one["kpk.nbw"] and read(path("krk.nbw.emd")) != one["krk.nbw"],
           "interrupted or stale file not redone")
    expect(not [f for f in os.listdir(packed) if f.endswith(".part")], ".part left after compress")

    # With the plain file gone a whole .emd stands for it; --force needs the plain file.
    os.remove(path("kpk.nbb"))
    proc = run(tool, "tb", "compress", path("kpk.nbb"), timeout=60)
    expect(proc.returncode == 0 and "skipped" in proc.stdout, "compressed file alone: %r" % proc.stdout)
    proc = run(tool, "tb", "compress", "--force", path("kpk.nbb"), timeout=60)
    expect(proc.returncode == 1 and os.path.exists(path("kpk.nbb.emd")), "--force without the plain file")
    proc = run(tool, "tb", "compress", "--force", path("kpk.nbw"), timeout=60)
    expect(proc.returncode == 0 and " bytes (" in proc.stdout, "--force: %r" % proc.stdout)

    # A class and its successors in compressed files alone are proved as plain ones are.
    only = os.path.join(tmp, "compressed-only")
    os.mkdir(only)
    files = [os.path.join(only, n + e) for n in ("kpk", "kqk", "krk", "kbk", "knk") for e in (".nbw", ".nbb")]
    for name in files:
        shutil.copy(os.path.join(tmp, os.path.basename(name)), only)
    proc = run(tool, "tb", "compress", *files, timeout=60)
    for name in files:
        os.remove(name)
    proc = run(tool, "tb", "verify", only, "kpk", timeout=60)
    expect(proc.returncode == 0 and "kpk: 165676 positions verified" in proc.stdout,
           "verify from compressed files: %r" % proc.stdout[-300:])


def check_resume(tool, tmp):
    """A second run skips whole classes and redoes interrupted ones; --force redoes a whole one."""
    path = lambda name: os.path.join(tmp, name)
    knk = os.stat(path("knk.nbw")).st_ino
    os.remove(path("kqk.nbw"))
    os.remove(path("kqk.nbb"))
    with open(path("kqk.nbw.part"), "wb") as f:
        f.write(b"\x01" * 100)
    with open(path("krk.nbb"), "r+b") as f:
        f.truncate(1000)
    proc = run(tool, "tb", "generate", tmp, "--men", "3", timeout=180)
    expect(proc.returncode == 0 and "kqk longest win 10 moves" in proc.stdout and "krk longest win 16 moves" in
           proc.stdout and "knk" not in proc.stdout and "knk: files complete, skipped" in proc.stderr,
           "resume: %r %r" % (proc.stdout, proc.stderr[-300:]))
    expect(os.stat(path("knk.nbw")).st_ino == knk, "a complete class was rewritten")
    for name in ("kqk", "krk"):
        for ext, size in zip((".nbw", ".nbb"), SIZES[name]):
            expect(os.path.getsize(path(name + ext)) == size, "%s%s size after resume" % (name, ext))
    expect(not [f for f in os.listdir(tmp) if f.endswith(".part")], ".part left after resume")
    proc = run(tool, "tb", "generate", tmp, "knk", "--force", timeout=60)
    expect(proc.returncode == 0 and "knk longest win 0 moves" in proc.stdout, "--force: %r" % proc.stdout)


def check_plan(tool, tmp):
    """The four-man plan names every class once, each after its successors; make runs a three-man plan."""
    plan = os.path.join(tmp, "plan4.mk")
    proc = run(tool, "tb", "plan", tmp, "--men", "4", "--output", plan, timeout=30)
    expect(proc.returncode == 0, "plan --men 4: %r" % proc.stderr)
    with open(plan) as f:
        text = f.read()
    rules = re.findall(r"^(k[a-z]+):(.*)$", text, re.M)
    names = [target for target, _ in rules]
    expect(len(names) == 35 and len(set(names)) == 35, "plan classes: %r" % names)
    for i, (target, prerequisites) in enumerate(rules):
        expect(all(p in names[:i] for p in prerequisites.split()), "%s before its successors" % target)
    expect(re.search(r"^CLASSES = (.*)$", text, re.M).group(1).split() == names, "CLASSES line order")

    made = os.path.join(tmp, "made")
    os.mkdir(made)
    proc = run(tool, "tb", "plan", made, "--men", "3", timeout=30)
    expect(proc.returncode == 0 and os.path.exists(os.path.join(made, "plan.mk")), "plan --men 3: %r" % proc.stderr)
    proc = run("make", "-j", "2", "-f", os.path.join(made, "plan.mk"), "all", "verify-kpk", timeout=300)
    expect(proc.returncode == 0 and all(os.path.getsize(os.path.join(made, n + e)) == s for n in SIZES
                                        for e, s in zip((".nbw", ".nbb"), SIZES[n])),
           "make -j 2 -f plan.mk: %r" % proc.stderr[-300:])


def main():
    if len(sys.argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    tool = sys.argv[2]
    with tempfile.TemporaryDirectory() as tmp:
        proc = run(tool, "tb", "generate", tmp, "--men", "3", timeout=180)
        expect(proc.returncode == 0, "generate --men 3: exit %d %r" % (proc.returncode, proc.stderr[-300:]))
        expect("kqk longest win 10 moves" in proc.stdout, "kqk summary: %r" % proc.stdout)
        for name, sizes in SIZES.items():
            for ext, size in zip((".nbw", ".nbb"), sizes):
                path = os.path.join(tmp, name + ext)
                expect(os.path.exists(path) and os.path.getsize(path) == size, "%s%s size" % (name, ext))
        expect(not [f for f in os.listdir(tmp) if f.endswith(".part")], "temporary files left behind")
        check_files(tool, tmp)
        check_compress(tool, tmp)
        check_resume(tool, tmp)
        check_plan(tool, tmp)

        # The sanitizer build proves two classes, the optimised build all five.
        proven = list(SIZES) if os.environ.get("TAVIK_TB_FOUR_MEN") else ["kpk", "krk"]
        proc = run(tool, "tb", "verify", tmp, *proven, timeout=180)
        expect(proc.returncode == 0 and proc.stdout.count("positions verified") == len(proven),
               "verify: exit %d %r" % (proc.returncode, proc.stdout[-400:]))

        # Four men, in the optimised build only: the published longest win, then the proof.
        if os.environ.get("TAVIK_TB_FOUR_MEN"):
            proc = run(tool, "tb", "generate", tmp, "kqkr", timeout=300)
            expect("kqkr longest win 35 moves" in proc.stdout, "kqkr: %r" % (proc.stdout + proc.stderr[-300:]))
            proc = run(tool, "tb", "verify", tmp, "kqkr", timeout=300)
            expect(proc.returncode == 0 and "positions verified" in proc.stdout, "verify kqkr: %r" % proc.stdout[-400:])

        # One win in krk turned into a draw must be found,
        # whichever position it belongs to, and named by its FEN.
        path = os.path.join(tmp, "krk.nbw")
        with open(path, "r+b") as f:
            data = bytearray(f.read())
            offset = next(i for i, b in enumerate(data) if 0 < b < 127)
            data[offset] = 0
            f.seek(0)
            f.write(data)
        proc = run(tool, "tb", "verify", tmp, "krk", timeout=180)
        expect(proc.returncode == 1 and re.search(r"^krk: bad \S+/\S+ [wb] ", proc.stdout, re.M),
               "corrupted krk: exit %d %r" % (proc.returncode, proc.stdout[-400:]))

        # A missing table of a smaller class is named, not taken for a draw.
        os.remove(os.path.join(tmp, "kqk.nbb"))
        proc = run(tool, "tb", "verify", tmp, "kpk", timeout=180)
        expect(proc.returncode == 1 and "kqk.nbb" in proc.stdout, "missing kqk.nbb: %r" % proc.stdout[-300:])

        for args in (["generate", tmp, "kxk"], ["generate", tmp, "--men", "7"], ["verify", tmp, "kkk"],
                     ["generate", os.path.join(tmp, "no", "such", "dir"), "knk"], ["frobnicate"],
                     ["generate", tmp, "knk", "--threads", "0"], ["verify", tmp, "krk", "--threads", "two"],
                     ["verify", tmp, "krk", "--threads"], ["compress", "--threads", "0", "x.nbw"], ["compress"]):
            proc = run(tool, "tb", *args, timeout=30)
            expect(proc.returncode != 0 and proc.stderr + proc.stdout, "tb %s: exit %d" % (args, proc.returncode))
    return failures.report("tablebase tool e2e")


if __name__ == "__main__":
    sys.exit(main())
