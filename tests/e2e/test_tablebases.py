#!/usr/bin/env python3
"""Tablebases through the real engine: broken files stop it at registration;
with generated 3- and 4-man tables (plain and compressed) it reports the
tables' mate distances and keeps them with its replies.

usage: test_tablebases.py <tavik> <tavik-tool> [--four-men] [--five-men DIR]
(--four-men adds a generated 4-man class: slow, run by make tb-endgames;
--five-men plays krpkr endings against finished tables in DIR: make tb5-endgames)
"""
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Engine, Failures, legal_moves, parse_bestmove, run  # noqa: E402

# Won, drawn and lost positions; their distances come from tb probe.
POSITIONS = [
    "8/8/8/3k4/8/8/1R6/K7 w - - 0 1",
    "8/8/8/8/2k5/8/4P3/4K3 w - - 0 1",
    "8/8/8/8/8/4k3/4P3/4K3 w - - 0 1",
    "8/2k5/8/8/8/8/1Q6/K7 b - - 0 1",
]
CLASSES = ["kqk", "krk", "kpk"]
FOUR_MEN_POSITIONS = ["8/8/3k4/8/2r5/8/1Q6/K7 w - - 0 1", "8/8/8/2k5/8/3r4/8/QK6 b - - 0 1"]
FOUR_MEN_CLASSES = ["kqkr"]
# Lucena (won, converted into a four-man ending) and a rook ending the defence holds.
FIVE_MEN_POSITIONS = ["1K6/1P1k4/8/8/8/8/r7/2R5 w - - 0 1", "4k3/7r/8/3PK3/8/8/8/R7 b - - 0 1"]


def registration_stops(engine_path, directory):
    """(exit status, last line) of an engine told to use the directory."""
    engine = Engine(engine_path, handshake=True)
    engine.send("setoption name NalimovPath value " + directory, "isready")
    return engine.close()[0], (engine.lines or [None])[-1]


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
        image = bytearray(f.read())
        image[90] ^= 4
        f.seek(0)
        f.write(image)
    status, last = registration_stops(engine_path, packed)
    failures.expect((status, last) == (1, "*** Unable to read %s.emd -file broken" % name),
                    "flipped header byte: %r %r" % (status, last))


def table_distance(tool, directory, fen):
    """Moves to mate for the side to move from the tables: N wins, -N loses, 0 draws."""
    proc = run(tool, "tb", "probe", directory, fen)
    words = proc.stdout.split("\n")[1].split(": ")[1].split()
    if words == ["draw"]:
        return 0
    return int(words[-1]) if words[1] == "mates" else -int(words[-1])


def play_out(engine, tool, fen, distance, failures, label, whole_game):
    """The root score against the tables; then, with whole_game, both sides
    from the engine: the mate must come with the winner's move number distance."""
    plies = 2 * distance - 1 if distance > 0 else -2 * distance
    moves = []
    for ply in range(plies if whole_game else 1):
        engine.send("position fen %s moves %s" % (fen, " ".join(moves)) if moves else "position fen " + fen,
                    "go movetime 5000")
        lines = engine.until("bestmove", 10.0)
        scores = [text.split()[2:4] for text in lines if text.startswith("info score")]
        if ply == 0:
            want = ["mate", str(distance)] if distance > 0 else ["cp", "0"] if distance == 0 else None
            failures.expect(scores and (want is None and scores[-1][0] == "cp" and int(scores[-1][1]) < -28000
                                        or scores[-1] == want),
                            "%s %s: score %r, tables say %d" % (label, fen, scores[-1:], distance))
        moves.append(parse_bestmove(lines[-1])[0])
    if whole_game and distance:
        end = legal_moves(tool, fen, moves)[1]
        failures.expect(end == "checkmate", "%s %s: %s after %r, tables say mate in %d"
                        % (label, fen, end or "no mate", moves, abs(distance)))


def after_move(fen, move):
    """The FEN after a move, for pawn and piece endings without castling or en passant."""
    fields = fen.split()
    board = {}
    for rank, row in enumerate(fields[0].split("/")):
        file = 0
        for c in row:
            if c.isdigit():
                file += int(c)
            else:
                board[(7 - rank, file)] = c
                file += 1
    origin, target = (int(move[1]) - 1, ord(move[0]) - 97), (int(move[3]) - 1, ord(move[2]) - 97)
    piece = board.pop(origin)
    if len(move) == 5:
        piece = move[4].upper() if piece.isupper() else move[4]
    board[target] = piece
    rows = []
    for rank in range(7, -1, -1):
        row, empty = "", 0
        for file in range(8):
            if (rank, file) in board:
                row += (str(empty) if empty else "") + board[(rank, file)]
                empty = 0
            else:
                empty += 1
        rows.append(row + (str(empty) if empty else ""))
    return "%s %s - - 0 1" % ("/".join(rows), "b" if fields[1] == "w" else "w")


def five_men(engine_path, tool, directory, failures, movetime=1000, hold=30):
    """Both sides from the engine: a won position keeps its win, the winner's root
    score is the tables' mate at every move, until four men are left; a drawn one
    stays drawn for `hold` plies."""
    engine = Engine(engine_path, handshake=True)
    engine.sync("setoption name NalimovPath value " + directory, timeout=60)
    for start in FIVE_MEN_POSITIONS:
        fen, line = start, []
        first = table_distance(tool, directory, start)
        for ply in range(2 * abs(first) if first else hold):
            distance = table_distance(tool, directory, fen)
            line.append(distance)
            if sum(c.isalpha() for c in fen.split()[0]) < 5 or (first and distance * (1 if ply % 2 == 0 else -1) <= 0):
                break
            engine.send("position fen " + fen, "go movetime %d" % movetime)
            lines = engine.until("bestmove", movetime / 1000 + 10)
            scores = [text.split()[2:4] for text in lines if text.startswith("info score")]
            if distance > 0:
                failures.expect(scores and scores[-1] == ["mate", str(distance)],
                                "%s: score %r, tables say mate %d" % (fen, scores[-1:], distance))
            fen = after_move(fen, parse_bestmove(lines[-1])[0])
        men = sum(c.isalpha() for c in fen.split()[0])
        print("%s: %d plies to %s, table distances %s" % (start, len(line) - 1, fen, line))
        if first:
            failures.expect(men < 5 and table_distance(tool, directory, fen) * (1 if len(line) % 2 else -1) > 0,
                            "%s: the win was not kept into a four-man ending: %r" % (start, line))
        else:
            failures.expect(not any(line), "%s: the draw was not held: %r" % (start, line))
    failures.expect(engine.close()[0] == 0, "engine exit status")


def endgames(engine_path, tool, work, failures, four_men):
    plain = os.path.join(work, "tables")
    os.mkdir(plain)
    classes = CLASSES + (FOUR_MEN_CLASSES if four_men else [])
    positions = POSITIONS + (FOUR_MEN_POSITIONS if four_men else [])
    proc = run(tool, "tb", "generate", plain, *classes, timeout=900)
    if not failures.expect(proc.returncode == 0, "tb generate: %s" % proc.stderr[-500:]):
        return
    packed = os.path.join(work, "compressed")
    os.mkdir(packed)
    for name in os.listdir(plain):
        shutil.copy(os.path.join(plain, name), packed)
    files = [os.path.join(packed, name) for name in os.listdir(packed)]
    failures.expect(run(tool, "tb", "compress", *files).returncode == 0, "tb compress")
    for name in files:
        os.remove(name)
    distances = [table_distance(tool, plain, fen) for fen in positions]
    failures.expect(table_distance(tool, packed, positions[0]) == distances[0], "tb probe on a compressed file")

    engine = Engine(engine_path, handshake=True)
    # Options may change between searches: the cache is rebuilt, files reopened.
    for label, setting in (("plain", "NalimovPath value " + plain), ("small cache", "NalimovCache value 1"),
                           ("compressed", "NalimovPath value " + packed)):
        engine.sync("setoption name " + setting, timeout=30)
        for fen, distance in zip(positions, distances):
            play_out(engine, tool, fen, distance, failures, label, label != "small cache")
        # No table for the root: the search runs its time and probes after captures.
        engine.send("position fen 8/8/3k4/8/2n5/8/1Q6/K7 w - - 0 1", "go movetime 300")
        closing = [text for text in engine.until("bestmove") if text.startswith("info nps")]
        failures.expect(closing and int((closing[-1] + " tbhits 0").split(" tbhits ")[1]) > 0,
                        "%s: closing line %r" % (label, closing))
    engine.sync("setoption name NalimovCache value 0", "position fen " + POSITIONS[0], "go depth 2", timeout=30)
    failures.expect(engine.close()[0] == 0, "engine exit status")
    failures.expect(not engine.problems(), "engine: %r" % engine.problems()[:3])


def main():
    engine_path, tool = sys.argv[1], sys.argv[2]
    failures = Failures()
    work = tempfile.mkdtemp(prefix="tavik-tb-")
    try:
        if "--five-men" in sys.argv:
            five_men(engine_path, tool, sys.argv[sys.argv.index("--five-men") + 1], failures)
            return failures.report("test_tablebases --five-men")
        broken_files(engine_path, tool, work, failures)
        endgames(engine_path, tool, work, failures, "--four-men" in sys.argv[3:])
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return failures.report("test_tablebases")


if __name__ == "__main__":
    sys.exit(main())
