#!/usr/bin/env python3
"""A local match between two UCI engines (two builds, or one build with two
settings): games from a file of opening lines, each opening played twice
with colours swapped, a clock per side or a fixed node count or depth per
move, PGN out, and the score as W/D/L, Elo difference with its 95 % margin
and, with --sprt, a sequential test that stops as soon as it decides.

usage: match.py --a CMD --b CMD [--a-option NAME=VALUE]... [--b-option ...]
                [--option NAME=VALUE]... (--tc BASE+INC | --nodes N | --depth D)
                [--games N] [--sprt ELO0 ELO1 [--alpha A] [--beta B]]
                [--openings FILE] [--seed S] [--concurrency N] [--pgn FILE]
                [--adjudicate] [--max-plies N] [--time-margin MS] [--tool TAVIK-TOOL]

Game rules: checkmate, stalemate, threefold repetition, the fifty-move rule
and insufficient material end a game; a flag fall, an illegal move, a crash
or a stalled engine lose it. Engines run in an empty directory of their own,
so a build's opening book is not found: the openings file alone varies the
games.
"""
import argparse
import os
import queue
import random
import shlex
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from uci_client import Engine, legal_moves  # noqa: E402
from match_game import Game, pgn_text  # noqa: E402
import match_stats  # noqa: E402

DEFAULT_OPENINGS = os.path.join(HERE, "match_openings.txt")
DEFAULT_TOOL = os.path.join(HERE, "..", "build", "tavik-tool")
# Scores at least this large (centipawns, a mate beyond any), reported by
# both engines for ADJUDICATE_MOVES moves each, end the game with --adjudicate.
ADJUDICATE_SCORE = 1000
ADJUDICATE_MOVES = 4
MATE_SCORE = 100000  # "score mate n" counts as MATE_SCORE - n
# The PGN Termination tag of each kind of ending; the rules' own endings are "normal".
TERMINATION_TAGS = {"checkmate": "normal", "stalemate": "normal", "threefold repetition": "normal",
                    "fifty-move rule": "normal", "insufficient material": "normal", "adjudication": "adjudication",
                    "ply limit": "adjudication", "time forfeit": "time forfeit"}


class EngineFault(Exception):
    pass


class Player:
    """One engine process: handshake, options, one search at a time."""

    def __init__(self, command, options, label):
        self.command, self.options, self.label = command, options, label
        self.engine = None
        self.name = label

    def start(self):
        self.engine = Engine(self.command)
        self.engine.send("uci")
        offered = set()
        while True:
            line = self.engine.line(10.0)
            if line is None:
                raise EngineFault("%s: no \"uciok\" from %s" % (self.label, " ".join(self.command)))
            if line.startswith("id name "):
                self.name = line[8:].strip()
            elif line.startswith("option name "):
                offered.add(line[12:].split(" type ")[0].strip().lower())
            elif line.strip() == "uciok":
                break
        for name, value in self.options:
            if name.lower() not in offered:
                raise EngineFault("%s offers no option %r" % (self.label, name))
            self.engine.send("setoption name %s value %s" % (name, value))
        self.ready(30.0)

    def ready(self, timeout=10.0):
        self.engine.send("isready")
        deadline = time.monotonic() + timeout
        while True:
            line = self.engine.line(max(0.0, deadline - time.monotonic()))
            if line is None:
                raise EngineFault("%s: no \"readyok\"" % self.label)
            if line.strip() == "readyok":
                self.engine.lines = []
                return

    def new_game(self):
        if self.engine is None or self.engine.proc.poll() is not None:
            self.restart()
        self.engine.send("ucinewgame")
        self.ready()

    def think(self, position, go, timeout):
        """(move, score from the mover's side or None, depth, seconds);
        raises EngineFault when the engine dies or says nothing in time."""
        self.engine.lines = []
        self.engine.send(position, go)
        start = time.monotonic()
        deadline = start + timeout
        score = depth = None
        while True:
            line = self.engine.line(max(0.0, deadline - time.monotonic()))
            if line is None:
                # Output that ends before the time is up is a crash, even before the process is gone.
                ended = time.monotonic() < deadline - 0.01 or self.engine.proc.poll() is not None
                raise EngineFault("crashed" if ended else "stalled")
            words = line.split()
            if words[:1] == ["info"] and "score" in words:
                at = words.index("score")
                first_line = "multipv" not in words or words[words.index("multipv") + 1:][:1] == ["1"]
                if at + 2 < len(words) and words[at + 1] in ("cp", "mate") and first_line:
                    value = int(words[at + 2])
                    score = value if words[at + 1] == "cp" else (MATE_SCORE - value if value > 0 else
                                                                 -MATE_SCORE - value)
                    depth = int(words[words.index("depth") + 1]) if "depth" in words else depth
            elif words[:1] == ["bestmove"]:
                seconds = time.monotonic() - start
                return (words[1] if len(words) > 1 else ""), score, depth, seconds

    def restart(self):
        self.stop()
        self.start()

    def stop(self):
        if self.engine is None:
            return
        self.engine.send("quit")
        self.engine.close(2.0)
        self.engine = None


def move_comment(score, depth, seconds):  # "+0.35/12 0.53s", "-M3/20 0.10s"
    if score is None:
        text = "?"
    elif abs(score) > MATE_SCORE - 1000:
        text = ("+M%d" if score > 0 else "-M%d") % (MATE_SCORE - abs(score))
    else:
        text = "%+.2f" % (score / 100.0)
    return "%s/%d %.2fs" % (text, depth or 0, seconds)


def read_openings(path):
    """(moves, name) per line: moves in coordinate notation from the start
    position, a "#" comment naming the line."""
    openings = []
    with open(path) as f:
        for line in f:
            text, _, name = line.partition("#")
            if text.strip():
                openings.append((text.split(), name.strip()))
    return openings


def parse_tc(text):  # "10+0.1" -> (10000, 100) milliseconds
    base, _, increment = text.partition("+")
    try:
        result = int(round(float(base) * 1000)), int(round(float(increment or 0) * 1000))
    except ValueError:
        raise argparse.ArgumentTypeError("time control must be BASE+INC in seconds, e.g. 10+0.1")
    if result[0] <= 0 or result[1] < 0:
        raise argparse.ArgumentTypeError("time control needs a positive base and an increment of 0 or more")
    return result


def parse_option(text):
    name, equals, value = text.partition("=")
    if not equals or not name.strip():
        raise argparse.ArgumentTypeError("option must be NAME=VALUE, got %r" % text)
    return name.strip(), value.strip()


class Match:

    def __init__(self, args, openings):
        self.args, self.openings = args, openings
        self.lock = threading.Lock()
        self.wins = self.draws = self.losses = 0
        self.finished = 0
        self.terminations = {}
        self.bounds = match_stats.sprt_bounds(args.alpha, args.beta) if args.sprt else None
        self.verdict = None
        self.failed = False
        self.names = ["A", "B"]
        self.pgn = open(args.pgn, "w") if args.pgn else None

    def go_command(self, clocks):
        words = ["go"]
        if self.args.tc:
            words += ["wtime", str(max(1, int(clocks[0]))), "btime", str(max(1, int(clocks[1]))),
                      "winc", str(self.args.tc[1]), "binc", str(self.args.tc[1])]
        if self.args.nodes:
            words += ["nodes", str(self.args.nodes)]
        if self.args.depth:
            words += ["depth", str(self.args.depth)]
        return " ".join(words)

    def play(self, number, players, moves, opening_name):
        """One game; players[0] has white. Returns (result, kind of ending,
        the reason in words, PGN text)."""
        tool, args = self.args.tool, self.args
        game = Game()
        comments = []
        for move in moves:
            legal, _ = legal_moves(tool, "startpos", game.moves)
            if move not in legal:
                raise AssertionError("opening %r: %s is illegal" % (opening_name, move))
            game.play(move, legal)
            comments.append("book")
        for player in players:
            player.new_game()
        clocks = [float(args.tc[0]), float(args.tc[0])] if args.tc else None
        white_scores = []
        while True:
            legal, status = legal_moves(tool, "startpos", game.moves)
            ended = game.note_position(legal, status)
            if ended:
                result, reason = ended
                kind = "checkmate" if reason.endswith("mates") else reason
                break
            side = 0 if game.board.white else 1
            mover, loser_result = players[side], ("0-1", "1-0")[side]
            colour = ("White", "Black")[side]
            if args.max_plies and len(game.moves) >= args.max_plies:
                result, reason = "1/2-1/2", "draw by the ply limit"
                kind = "ply limit"
                break
            position = "position startpos" + (" moves " + " ".join(game.moves) if game.moves else "")
            timeout = clocks[side] / 1000.0 + args.time_margin / 1000.0 + 1.0 if clocks else args.move_timeout
            try:
                move, score, depth, seconds = mover.think(position, self.go_command(clocks), timeout)
            except EngineFault as fault:
                mover.restart()
                timed_out = clocks is not None and str(fault) == "stalled"
                result, kind = loser_result, "time forfeit" if timed_out else "engine %s" % fault
                reason = "%s loses on time" % colour if timed_out else "%s %s" % (colour, fault)
                break
            if clocks:
                clocks[side] -= seconds * 1000.0
                if clocks[side] < -args.time_margin:
                    result, reason, kind = loser_result, "%s loses on time" % colour, "time forfeit"
                    break
                clocks[side] += args.tc[1]
            # Engines may write the promotion letter in upper case.
            move = move[:4] + move[4:].lower()
            if move not in legal:
                result, reason, kind = loser_result, "%s plays illegal move %r" % (colour, move), "illegal move"
                break
            game.play(move, legal)
            comments.append(move_comment(score, depth, seconds))
            if args.adjudicate:
                white_scores.append(None if score is None else score if side == 0 else -score)
                recent = white_scores[-2 * ADJUDICATE_MOVES:]
                if len(recent) == 2 * ADJUDICATE_MOVES and None not in recent:
                    if all(s >= ADJUDICATE_SCORE for s in recent):
                        result, reason, kind = "1-0", "both engines see White winning", "adjudication"
                        break
                    if all(s <= -ADJUDICATE_SCORE for s in recent):
                        result, reason, kind = "0-1", "both engines see Black winning", "adjudication"
                        break
        tags = [("Event", args.event), ("Site", "local"), ("Date", time.strftime("%Y.%m.%d")),
                ("Round", number), ("White", players[0].name), ("Black", players[1].name), ("Result", result),
                ("PlyCount", len(game.moves)), ("Termination", TERMINATION_TAGS.get(kind, "rules infraction")),
                ("Opening", opening_name),
                ("TimeControl", "%g+%g" % (args.tc[0] / 1000.0, args.tc[1] / 1000.0) if args.tc else "-")]
        return result, kind, reason, pgn_text(tags, game, result, comments, reason)

    def record(self, number, a_white, result, kind, reason, pgn):
        """Counts a finished game (from A's side) and prints it; True once
        the match should start no more games."""
        with self.lock:
            a_points = {"1-0": 1.0, "0-1": 0.0}.get(result, 0.5)
            if not a_white:
                a_points = 1.0 - a_points
            if a_points == 1.0:
                self.wins += 1
            elif a_points == 0.0:
                self.losses += 1
            else:
                self.draws += 1
            self.finished += 1
            self.terminations[kind] = self.terminations.get(kind, 0) + 1
            if self.pgn:
                self.pgn.write(pgn)
                self.pgn.flush()
            white, black = (self.names[0], self.names[1]) if a_white else (self.names[1], self.names[0])
            print("Game %d: %s vs %s: %s {%s}" % (number, white, black, result, reason))
            for line in match_stats.summary_lines(self.names[0], self.names[1], self.wins, self.draws, self.losses):
                print(line)
            if self.bounds:
                llr = match_stats.sprt_llr(self.wins, self.draws, self.losses, *self.args.sprt)
                print("SPRT: llr %.3f, lbound %.3f, ubound %.3f" % (llr, *self.bounds))
                self.verdict = match_stats.sprt_verdict(llr, self.bounds)
            sys.stdout.flush()
            return self.verdict is not None

    def worker(self, jobs, stop):
        args = self.args
        players = [Player(args.a, args.a_option + args.option, "A"), Player(args.b, args.b_option + args.option, "B")]
        try:
            for player in players:
                player.start()
            self.names = [players[0].name, players[1].name]
            if self.names[0] == self.names[1]:
                self.names = [self.names[0] + " (A)", self.names[1] + " (B)"]
            for player, name in zip(players, self.names):
                player.name = name
            while not stop.is_set():
                try:
                    number = jobs.get_nowait()
                except queue.Empty:
                    return
                moves, name = self.openings[(number - 1) // 2 % len(self.openings)]
                a_white = number % 2 == 1
                pair = players if a_white else players[::-1]
                result = self.play(number, pair, moves, name)
                if self.record(number, a_white, *result):
                    stop.set()
        except (EngineFault, AssertionError, OSError) as fault:  # AssertionError: tavik-tool refused a position
            print("match: %s" % fault, file=sys.stderr)
            self.failed = True
            stop.set()
        finally:
            for player in players:
                player.stop()

    def run(self):
        jobs = queue.Queue()
        for number in range(1, self.args.games + 1):
            jobs.put(number)
        stop = threading.Event()
        threads = [threading.Thread(target=self.worker, args=(jobs, stop), daemon=True)
                   for _ in range(self.args.concurrency)]
        for thread in threads:
            thread.start()
        try:
            for thread in threads:
                while thread.is_alive():
                    thread.join(0.5)
        except KeyboardInterrupt:
            print("\nmatch: interrupted; the games so far:")
            stop.set()
        self.finish()
        return 2 if self.failed and self.finished == 0 else 0

    def finish(self):
        with self.lock:
            if self.pgn:
                self.pgn.close()
            print("\nFinished: %d games" % self.finished)
            for line in match_stats.summary_lines(self.names[0], self.names[1], self.wins, self.draws, self.losses):
                print(line)
            print("Endings: " + ", ".join("%s %d" % item for item in sorted(self.terminations.items())))
            if self.bounds:
                llr = match_stats.sprt_llr(self.wins, self.draws, self.losses, *self.args.sprt)
                print("SPRT (%g, %g), alpha %g, beta %g: llr %.3f, lbound %.3f, ubound %.3f: %s" % (
                    *self.args.sprt, self.args.alpha, self.args.beta, llr, *self.bounds,
                    {"H1": "H1 accepted (elo1)", "H0": "H0 accepted (elo0)"}.get(self.verdict, "no decision")))
            sys.stdout.flush()


def engine_command(text):
    words = shlex.split(text)
    if not words:
        raise argparse.ArgumentTypeError("empty engine command")
    # The engines run in a scratch directory: a relative path must be made absolute here.
    if os.sep in words[0]:
        words[0] = os.path.abspath(words[0])
    return words


def main(argv=None):
    parser = argparse.ArgumentParser(description="A local match between two UCI engines.")
    parser.add_argument("--a", required=True, type=engine_command, help="first engine's command (the one scored)")
    parser.add_argument("--b", required=True, type=engine_command, help="second engine's command")
    parser.add_argument("--a-option", action="append", default=[], type=parse_option, metavar="NAME=VALUE")
    parser.add_argument("--b-option", action="append", default=[], type=parse_option, metavar="NAME=VALUE")
    parser.add_argument("--option", action="append", default=[], type=parse_option, metavar="NAME=VALUE",
                        help="an option for both engines")
    parser.add_argument("--tc", type=parse_tc, help="clock per side and increment in seconds, e.g. 10+0.1")
    parser.add_argument("--nodes", type=int, help="nodes per move")
    parser.add_argument("--depth", type=int, help="depth per move")
    parser.add_argument("--games", type=int, help="games to play (default 100, 20000 with --sprt)")
    parser.add_argument("--sprt", type=float, nargs=2, metavar=("ELO0", "ELO1"))
    parser.add_argument("--alpha", type=float, default=0.05)
    parser.add_argument("--beta", type=float, default=0.05)
    parser.add_argument("--openings", default=DEFAULT_OPENINGS, help="opening lines, one per line")
    parser.add_argument("--seed", type=int, help="shuffle the openings with this seed (default: file order)")
    parser.add_argument("--concurrency", type=int, default=1, help="games at a time (default 1)")
    parser.add_argument("--pgn", default="match.pgn", help="PGN file to write (default match.pgn; '' for none)")
    parser.add_argument("--event", default="Tavik match")
    parser.add_argument("--adjudicate", action="store_true",
                        help="a game where both engines report a score of %d or more for one side over %d moves "
                             "each is won by that side" % (ADJUDICATE_SCORE, ADJUDICATE_MOVES))
    parser.add_argument("--max-plies", type=int, default=0, help="a game this long is a draw (default: no limit)")
    parser.add_argument("--time-margin", type=int, default=0, help="milliseconds a clock may go below zero")
    parser.add_argument("--move-timeout", type=float, default=60.0,
                        help="seconds a fixed-node or fixed-depth search may take (default 60)")
    parser.add_argument("--tool", default=DEFAULT_TOOL, help="tavik-tool, the judge of legal moves")
    args = parser.parse_args(argv)

    if not (args.tc or args.nodes or args.depth):
        parser.error("give a time control (--tc), --nodes or --depth")
    for name in ("nodes", "depth", "games", "max_plies"):
        if getattr(args, name) is not None and getattr(args, name) < (1 if name != "max_plies" else 0):
            parser.error("--%s must be positive" % name.replace("_", "-"))
    if args.concurrency < 1 or args.time_margin < 0:
        parser.error("--concurrency must be 1 or more, --time-margin 0 or more")
    if args.sprt and not (0 < args.alpha < 1 and 0 < args.beta < 1 and args.sprt[0] < args.sprt[1]):
        parser.error("--sprt needs elo0 < elo1, and alpha and beta between 0 and 1")
    if args.games is None:
        args.games = 20000 if args.sprt else 100
    if not os.access(args.tool, os.X_OK):
        parser.error("no tavik-tool at %s (build it, or give --tool)" % args.tool)
    try:
        openings = read_openings(args.openings)
        if not openings:
            parser.error("no opening lines in %s" % args.openings)
        if args.seed is not None:
            random.Random(args.seed).shuffle(openings)
        # Those the match will reach are checked before the first game.
        for moves, name in openings[:(args.games + 1) // 2]:
            legal_moves(args.tool, "startpos", moves)
    except (OSError, AssertionError) as problem:
        parser.error("openings %s: %s" % (args.openings, problem))
    return Match(args, openings).run()


if __name__ == "__main__":
    sys.exit(main())
