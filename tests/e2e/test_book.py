#!/usr/bin/env python3
"""Opening book: tavik-tool book build/import-polyglot/show and the engine's probe.
usage: test_book.py <tavik> <tavik-tool>"""
import functools
import os
import re
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Failures, legal_moves, run  # noqa: E402

check = Failures()
DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "book")
SHUFFLE = ["g1f3", "g8f6", "f3g1", "f6g8"] * 13  # 52 plies, a draw
G2 = "d2d4 e7e5 d4e5 f7f6 e5f6 b8c6 f6g7 d8e7 g7h8Q e7b4 c2c3 b4b2 h8g8 b2b1 g8f8 e8f8 g1f3 d7d6 e2e3 c8g4 f1e2 b1a1"


def show(tool, book, *position):
    proc = run(tool, "book", "show", book, *position, timeout=30)
    check.expect(proc.returncode == 0, "show %s: exit %d %s" % (position, proc.returncode, proc.stderr))
    return proc.stdout.split("\n")[1:-1]


def engine(path, cwd, *commands):
    """Lines printed for the commands (end of input ends the engine)."""
    proc = subprocess.run([path], input="uci\n" + "".join(c + "\n" for c in commands), capture_output=True,
                          text=True, cwd=cwd, timeout=30)
    check.expect("Sanitizer" not in proc.stderr and "runtime error" not in proc.stderr, proc.stderr[:2000])
    return [line for line in proc.stdout.split("\n") if line and not line.startswith(("id ", "option ", "uciok"))]


def book_lines(lines):
    return [line for line in lines if line.startswith("info string")]


def test_build_and_show(tool, tmp):
    # 150 won games for e2e4 and one drawn d2d4 game make a share below one percent.
    extra = os.path.join(tmp, "extra.pgn")
    with open(extra, "w") as f:
        f.write('[Result "1-0"]\n\n1. e4 e5 1-0\n\n' * 150 + "1. d4 d5 1/2-1/2\n\n")
        f.write("Nf3 Nf6 Ng1 Ng8 " * 13 + "1/2-1/2\n")
    book = os.path.join(tmp, "Tavik.book")
    proc = run(tool, "book", "build", book, os.path.join(DATA, "features.pgn"), os.path.join(DATA, "garbage.pgn"),
               extra)
    check.expect(proc.returncode == 0 and "games read: 162, used: 157 (0 up to a null move), skipped: 5 (3 unreadable, "
                 "1 with an illegal move, 1 from a set-up position, 0 of another variant, 0 without moves)"
                 in proc.stdout, "build summary: %r %r" % (proc.stdout, proc.stderr))
    # One position per movetext feature: each shows the move the game played next.
    for moves, expected in [
            ("e2e4 e7e5 g1f3 b8c6", ["f1b5 2 100%"]),  # comments, NAG, variations skipped
            ("e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 b5a4 g8f6", ["e1g1 2 100%"]),  # O-O
            ("d2d4 e7e5 d4e5 f7f6 e5f6 b8c6 f6g7 d8e7 g7h8Q", ["e7b4 2 100%"]),  # =Q, check mark
            (G2 + " e1g1", ["c6e5 2 100%"]),  # 0-0
            ("e2e4 e7e5 d1h5 b8c6 f1c4 g8f6", ["h5f7 2 100%"]),  # mate mark, ??
            ("e2e4", ["c7c5 1 100%"]),  # the losers' e7e5 has weight 0
            ("c2c4", ["no move with a positive weight"]),  # unknown result counts nothing
            ("e2e4 e7e5 e1e2", ["position not in book"])]:
        got = show(tool, book, "startpos", "moves", *moves.split())
        check.expect(got == expected, "after %s: %r, expected %r" % (moves, got, expected))
    check.expect(show(tool, book, "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1") == ["position not in book"], "FEN game kept")
    return book


def test_real_files(tool, tmp):
    """What real PGN files hold: each game of the fixture names its case."""
    book = os.path.join(tmp, "real.book")
    proc = run(tool, "book", "build", book, os.path.join(DATA, "real_files.pgn"), timeout=30)
    check.expect(proc.returncode == 0 and "games read: 13, used: 8 (1 up to a null move), skipped: 5 (3 unreadable, "
                 "0 with an illegal move, 1 from a set-up position, 0 of another variant, 1 without moves)"
                 in proc.stdout, "real files summary: %r %r" % (proc.stdout, proc.stderr))
    # Unclosed comment and variations (h3, c4, a3) add nothing; the games after them are kept.
    first = {line.split()[0]: line.split()[1] for line in show(tool, book)}
    check.expect(first == {"a2a3": "2", "b2b3": "2", "c2c3": "1", "d2d3": "1", "f2f4": "2", "g2g3": "2",
                           "b1c3": "2", "g1f3": "2"}, "first moves: %r" % first)
    for moves, expected in [("c2c3", ["c7c6 1 100%"]),  # "½-½" is a draw
                            ("d2d3", ["d7d6 1 100%"]),  # before the null move
                            ("d2d3 d7d6", ["no move with a positive weight"]),  # after it, nothing
                            ("f2f4 e7e5", ["f4e5 2 100%"])]:  # "Pfxe5"
        got = show(tool, book, "startpos", "moves", *moves.split())
        check.expect(got == expected, "real files, after %s: %r, expected %r" % (moves, got, expected))


def test_engine(exe, tool, tmp):
    go = "go wtime 60000 btime 60000"
    lines = engine(exe, tmp, "position startpos", go, "position startpos moves e2e4 e7e5 g1f3 b8c6", go)
    check.expect(book_lines(lines) == ["info string 0 0 0 0 (e2e4 95%, g1f3 4%, d2d4 <1%)",
                                       "info string 0 0 0 0 (f1b5 100%)"], "book lines: %r" % lines)
    check.expect(lines[-1] == "bestmove f1b5" and not any(l.startswith(("info score", "info cpuload")) for l in lines),
                 "a book move is played without a search: %r" % lines)
    # Ply 50 is still in book, ply 51 no longer; weight 0 only, fixed limits, OwnBook off: search.
    for commands, in_book in [(["position startpos moves " + " ".join(SHUFFLE[:50]), go], True),
                              (["position startpos moves " + " ".join(SHUFFLE[:51]), go], False),
                              (["position startpos moves " + G2, go], False),
                              (["position startpos", "go depth 2"], False),
                              (["position startpos", "go infinite", "stop"], False),
                              (["setoption name OwnBook value false", "position startpos", go], False)]:
        lines = engine(exe, tmp, *commands)
        check.expect(bool(book_lines(lines)) == in_book and lines[-1].startswith("bestmove"),
                     "%s: %r" % (commands, lines[-4:]))
    # Entries sorted by numeric key instead of byte order lose positions.
    with open(os.path.join(tmp, "Tavik.book"), "rb") as f:
        data = f.read()
    records = sorted((data[i:i + 16] for i in range(0, len(data), 16)), key=lambda r: struct.unpack("<Q", r[:8]))
    numeric = os.path.join(tmp, "numeric.book")
    with open(numeric, "wb") as f:
        f.write(b"".join(records))
    probes = [("e2e4", "e7e5")[:n] for n in range(3)] + [SHUFFLE[:n] for n in range(3, 40, 4)]
    missed = [p for p in probes if show(tool, numeric, "startpos", "moves", *p) == ["position not in book"]]
    kept = [p for p in probes if show(tool, os.path.join(tmp, "Tavik.book"), "startpos", "moves", *p)
            == ["position not in book"]]
    check.expect(missed and not kept, "numeric order missed %r, byte order missed %r" % (missed, kept))
    # Damaged books: a truncated one still plays, empty or garbage ones never give an illegal move.
    start_moves, _ = legal_moves(tool)
    for name, content in [("truncated", data + b"\x01" * 7), ("empty", b""), ("garbage", os.urandom(4000))]:
        with open(os.path.join(tmp, "Tavik.book"), "wb") as f:
            f.write(content)
        lines = engine(exe, tmp, "position startpos", go)
        check.expect(lines and lines[-1].split()[1] in start_moves and bool(book_lines(lines)) == (name == "truncated"),
                     "%s book: %r" % (name, lines[-3:]))


def test_import_polyglot(tool, tmp):
    # The format's three known keys, with one book move from each position.
    start, e4, e4d5 = 0x463B96181691FC9C, 0x823C9B50FD114196, 0x0756B94461C50FB0
    code = lambda f, t: (ord(t[0]) - 97) | (int(t[1]) - 1) << 3 | ((ord(f[0]) - 97) | (int(f[1]) - 1) << 3) << 6
    entries = sorted([(start, code("e2", "e4"), 7), (start, code("d2", "d4"), 3), (e4, code("d7", "d5"), 5),
                      (e4d5, code("e4", "d5"), 9)])
    source = os.path.join(tmp, "tiny.bin")
    with open(source, "wb") as f:
        f.write(b"".join(struct.pack(">QHHI", key, move, weight, 0) for key, move, weight in entries))
    book = os.path.join(tmp, "imported.book")
    proc = run(tool, "book", "import-polyglot", book, source, timeout=30)
    check.expect(proc.returncode == 0, "import: %r" % proc.stderr)
    for moves, expected in [((), ["e2e4 7 70%", "d2d4 3 30%"]), (("e2e4",), ["d7d5 5 100%"]),
                            (("e2e4", "d7d5"), ["e4d5 9 100%"])]:
        got = show(tool, book, "startpos", "moves", *moves)
        check.expect(got == expected, "imported, after %s: %r" % (moves, got))


def polyglot_key(fen):
    """The Polyglot key of a FEN whose en-passant field is '-' (numbers from tools/polyglot_random.h)."""
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "polyglot_random.h")) as f:
        random = [int(n, 16) for n in re.findall(r"0x([0-9A-F]{16})ull", f.read())]
    board, side, castling = fen.split()[:3]
    key = random[780] if side == "w" else 0
    for rank, row in enumerate(reversed(board.split("/"))):
        file = 0
        for c in row:
            if c.isdigit():
                file += int(c)
                continue
            key ^= random[64 * (2 * "pnbrqk".index(c.lower()) + c.isupper()) + 8 * rank + file]
            file += 1
    return key ^ functools.reduce(lambda a, b: a ^ b, (random[768 + "KQkq".index(c)] for c in castling if c != "-"), 0)


def test_castling_encodings_and_gui_fens(tool, tmp):
    # Italian game, both sides castle: White's castling as king takes rook (e1h1),
    # Black's as the king's own move (e8g8), as some books write it.
    line = [("e2e4", 10), ("e7e5", 9), ("g1f3", 8), ("g8f6", 7), ("f1c4", 6), ("f8c5", 5), ("e1h1", 4), ("e8g8", 3)]
    fens = ["rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -",
            "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq -",
            "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -",
            "rnbqkb1r/pppp1ppp/5n2/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -",
            "rnbqkb1r/pppp1ppp/5n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq -",
            "rnbqk2r/pppp1ppp/5n2/2b1p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -",
            "rnbqk2r/pppp1ppp/5n2/2b1p3/2B1P3/5N2/PPPP1PPP/RNBQ1RK1 b kq -"]
    square = lambda s: ord(s[0]) - 97 + 8 * (int(s[1]) - 1)
    records = sorted((polyglot_key(fen), square(m[2:]) | square(m[:2]) << 6, w) for fen, (m, w) in zip(fens, line))
    source, book = os.path.join(tmp, "castling.bin"), os.path.join(tmp, "castling.book")
    with open(source, "wb") as f:
        f.write(b"".join(struct.pack(">QHHI", key, move, weight, 0) for key, move, weight in records))
    proc = run(tool, "book", "import-polyglot", book, source, timeout=30)
    check.expect(proc.returncode == 0 and "entries written: 9" in proc.stdout, "import: %r %r" % (proc.stdout, proc.stderr))
    played = [m for m, _ in line[:6]]
    for moves, expected in [(played, ["e1g1 4 100%"]), (played + ["e1g1"], ["e8g8 3 100%"])]:
        got = show(tool, book, "startpos", "moves", *moves)
        check.expect(got == expected, "castling, after %s: %r" % (moves[-1], got))
    # A GUI writes the en-passant square after every double step; unusable, it is no part of the key.
    # A usable square is kept, without a note.
    for fen, expected in [(fens[1][:-1] + "e3 0 1", ["en-passant square e3 ignored: no pawn can take there", "e7e5 9 100%"]),
                          (fens[2][:-1] + "e6 0 2", ["en-passant square e6 ignored: no pawn can take there", "g1f3 8 100%"]),
                          ("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", ["position not in book"])]:
        got = show(tool, book, fen)
        check.expect(got == expected, "book show %s: %r" % (fen, got))
    # A write that fails (files limited to 64 bytes here) leaves the earlier book whole and no partial file.
    # Only for a native program: under Wine the limit would hit Wine's own files.
    with open(tool, "rb") as f:
        if f.read(4) != b"\x7fELF":
            return
    with open(book, "rb") as f:
        before = f.read()

    def small_files():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (64, 64))
    proc = subprocess.run([tool, "book", "import-polyglot", book, source], capture_output=True, text=True, timeout=30,
                          preexec_fn=small_files)
    after = open(book, "rb").read() if os.path.exists(book) else None
    check.expect(proc.returncode == 1 and "cannot write" in proc.stderr and after == before and
                 not os.path.exists(book + ".part"), "failed write: %r %r" % (proc.returncode, proc.stderr))


def main():
    exe, tool = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    tmp = tempfile.mkdtemp(prefix="tavik-book-")
    try:
        test_build_and_show(tool, tmp)
        test_real_files(tool, tmp)
        test_engine(exe, tool, tmp)
        test_import_polyglot(tool, tmp)
        test_castling_encodings_and_gui_fens(tool, tmp)
    finally:
        shutil.rmtree(tmp)
    return check.report("test_book")


if __name__ == "__main__":
    sys.exit(main())
