#!/usr/bin/env python3
# The match runner (tools/match.py): its sums against tests/data/match_stats.txt,
# its game rules and SAN against tests/data/match_rules.txt, a tiny match
# between two copies of the engine (PGN and summary), and the endings that
# misbehaving engines get.
# usage: test_match.py <tavik> <tavik-tool>
import math
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.join(HERE, "..", "..", "tools")
sys.path.insert(0, HERE)
sys.path.insert(0, TOOLS)
from uci_client import Failures, legal_moves, run  # noqa: E402
import match_stats  # noqa: E402
from match_game import START_FEN, Game, pgn_text  # noqa: E402


def rows(name):
    for line in open(os.path.join(HERE, "..", "data", name)):
        if line.strip() and not line.startswith("#"):
            yield [field.strip() for field in line.split("|")]


def near(value, text, places):  # a computed value against a table entry ("inf", "-inf" or a number)
    if text in ("inf", "-inf"):
        return math.isinf(value) and (value > 0) == (text == "inf")
    return math.isfinite(value) and abs(value - float(text)) <= 0.6 * 10 ** -places


def check_stats(failures):
    for kind, args, *expected in rows("match_stats.txt"):
        numbers = [float(x) for x in args.split()]
        if kind == "elo":
            elo, margin = match_stats.elo_with_margin(*[int(x) for x in numbers])
            failures.expect(near(elo, expected[0], 2) and near(margin, expected[1], 2),
                            "elo %s: %.4f +/- %.4f, expected %s +/- %s" % (args, elo, margin, *expected))
        elif kind == "los":
            los = match_stats.likelihood_of_superiority(*numbers)
            failures.expect(near(los, expected[0], 4), "los %s: %.5f, expected %s" % (args, los, expected[0]))
        elif kind == "llr":
            llr = match_stats.sprt_llr(*numbers)
            failures.expect(near(llr, expected[0], 4), "llr %s: %.5f, expected %s" % (args, llr, expected[0]))
        elif kind == "bounds":
            low, high = match_stats.sprt_bounds(*numbers)
            failures.expect(near(low, expected[0], 4) and near(high, expected[1], 4),
                            "bounds %s: %.5f %.5f, expected %s %s" % (args, low, high, *expected))
        elif kind == "verdict":
            verdict = match_stats.sprt_verdict(numbers[0], numbers[1:])
            failures.expect((verdict or "-") == expected[0], "verdict %s: %s" % (args, verdict))
        else:
            failures.expect(False, "unknown row kind %r in match_stats.txt" % kind)


def check_rules(tool, failures):
    for fen, moves, sans, verdict in rows("match_rules.txt"):
        fen = START_FEN if fen == "startpos" else fen
        game, ended, early = Game(fen), None, None
        for move in moves.split():
            legal, status = legal_moves(tool, fen, game.moves)
            early = early or game.note_position(legal, status)
            game.play(move, legal)
        legal, status = legal_moves(tool, fen, game.moves)
        ended = game.note_position(legal, status)
        got = " ".join(ended) if ended else "-"
        failures.expect(early is None and got == verdict and " ".join(game.sans) == sans,
                        "%s moves %s: %s / %s (ended early: %s), expected %s / %s" % (
                            fen, moves, " ".join(game.sans), got, early, sans, verdict))
        # The movetext holds the SAN in order, numbered from the FEN's move.
        text = pgn_text([("Result", ended[0] if ended else "*")], game, ended[0] if ended else "*")
        tokens = text.split("\n\n")[1].split()
        number = fen.split()[5]
        first = number + ("." if " w " in fen else "...")
        failures.expect(tokens[0] == first and [t for t in tokens[:-1] if not t[0].isdigit()] == sans.split(),
                        "PGN of %s: %r" % (moves, text))


def run_match(tool, *args, timeout=120):
    proc = subprocess.run([sys.executable, os.path.join(TOOLS, "match.py"), "--tool", tool, *args],
                          capture_output=True, text=True, timeout=timeout, stdin=subprocess.DEVNULL)
    return proc


def final_score(stdout):  # (wins, losses, draws) of the last score line
    found = re.findall(r"^Score of .+: (\d+) - (\d+) - (\d+)  \[\d\.\d{3}\] \d+$", stdout, re.M)
    return tuple(int(x) for x in found[-1]) if found else None


def check_tiny_match(tavik, tool, scratch, failures):
    pgn = os.path.join(scratch, "tiny.pgn")
    proc = run_match(tool, "--a", tavik, "--b", tavik, "--b-option", "Hash=2", "--nodes", "400", "--games", "2",
                     "--adjudicate", "--max-plies", "40", "--pgn", pgn)
    if not failures.expect(proc.returncode == 0 and "Finished: 2 games" in proc.stdout,
                           "tiny match: exit %d\n%s%s" % (proc.returncode, proc.stdout[-1500:], proc.stderr[-1500:])):
        return
    games = [dict(re.findall(r'^\[(\w+) "(.*)"\]$', text, re.M)) for text in open(pgn).read().split("\n\n[")]
    failures.expect(len(games) == 2, "tiny match: %d games in the PGN" % len(games))
    if len(games) != 2:
        return
    first, second = games
    failures.expect(first["Round"] == "1" and second["Round"] == "2" and first["White"] == second["Black"]
                    and first["Black"] == second["White"] and first["Opening"] == second["Opening"]
                    and first["White"] != first["Black"], "tiny match: colours and openings %r" % games)
    # W/D/L of the summary, from A's side, as the PGN results give them.
    a_name = first["White"]
    points = [{"1-0": 1.0, "0-1": 0.0}.get(g["Result"], 0.5) for g in games]
    points = [p if g["White"] == a_name else 1.0 - p for p, g in zip(points, games)]
    expected = (points.count(1.0), points.count(0.0), points.count(0.5))
    failures.expect(final_score(proc.stdout) == expected and all(g["Result"] in ("1-0", "0-1", "1/2-1/2")
                                                                 for g in games),
                    "tiny match: summary %s, PGN results %s" % (final_score(proc.stdout), expected))
    # The project's own PGN reader replays every move of both games.
    book = run(tool, "book", "build", os.path.join(scratch, "tiny.book"), pgn, "--max-ply", "1000")
    failures.expect("games read: 2, used: 2" in book.stdout and "skipped: 0" in book.stdout,
                    "tiny match PGN through tavik-tool book build: %s%s" % (book.stdout, book.stderr))


def check_faults(tavik, tool, scratch, failures):
    fake = os.path.join(HERE, "fake_engine.py")
    pgn = os.path.join(scratch, "faults.pgn")
    openings = os.path.join(scratch, "openings.txt")
    with open(openings, "w") as f:
        f.write("# two lines are enough here\ne2e4 e7e5 # King's Pawn\nd2d4 d7d5 # Queen's Pawn\n")
    cases = [("illegal", ["--nodes", "500"], "illegal move 2"),
             ("crash", ["--nodes", "500"], "engine crashed 2"),
             ("slow", ["--tc", "0.2+0"], "time forfeit 2"),
             ("silent", ["--nodes", "500", "--move-timeout", "0.5"], "engine stalled 2")]
    for mode, limits, ending in cases:
        proc = run_match(tool, "--a", tavik, "--b", "%s %s %s" % (sys.executable, fake, mode), "--games", "2",
                         "--pgn", pgn, "--openings", openings, *limits)
        failures.expect(proc.returncode == 0 and final_score(proc.stdout) == (2, 0, 0)
                        and "Endings: %s\n" % ending in proc.stdout,
                        "fake engine %s: exit %d\n%s%s" % (mode, proc.returncode, proc.stdout[-800:], proc.stderr))
    # An SPRT stops at its bound: a side that loses every game is found weaker within a few dozen games.
    proc = run_match(tool, "--a", tavik, "--b", "%s %s illegal" % (sys.executable, fake), "--nodes", "300",
                     "--sprt", "0", "10", "--pgn", pgn, "--openings", openings)
    score = final_score(proc.stdout)
    failures.expect(proc.returncode == 0 and "H1 accepted (elo1)" in proc.stdout and score and score[0] < 40
                    and score[1:] == (0, 0), "SPRT against an engine that always loses: %s" % proc.stdout[-600:])
    # Mistakes in the request stop the runner before any game, with a reason.
    for args, reason in ((["--a-option", "Nonsense=1", "--nodes", "100"], "offers no option 'Nonsense'"),
                         (["--tc", "10x"], "time control"),
                         (["--nodes", "100", "--sprt", "5", "0"], "elo0 < elo1"),
                         (["--nodes", "100", "--openings", os.devnull], "no opening lines")):
        proc = run_match(tool, "--a", tavik, "--b", tavik, "--games", "2", "--pgn", pgn, "--openings", openings, *args)
        failures.expect(proc.returncode == 2 and reason in proc.stderr and "Game 1" not in proc.stdout,
                        "%s: exit %d\n%s%s" % (args, proc.returncode, proc.stdout[-500:], proc.stderr[-500:]))


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: test_match.py <tavik> <tavik-tool>")
    tavik, tool = sys.argv[1:]
    failures = Failures()
    check_stats(failures)
    check_rules(tool, failures)
    with tempfile.TemporaryDirectory(prefix="tavik-match-") as scratch:
        check_tiny_match(tavik, tool, scratch, failures)
        check_faults(tavik, tool, scratch, failures)
    return failures.report("match runner")


if __name__ == "__main__":
    sys.exit(main())
