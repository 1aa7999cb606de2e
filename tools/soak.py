#!/usr/bin/env python3
"""Soak test: fast games of the engine against itself and against a random
mover, with UCI noise between and during searches.  Every reply is checked:
a legal move, in time, no crash, no hang.  Exits non-zero on any fault.

usage: soak.py <tavik> <tavik-tool> [--minutes N] [--seed S]
"""
import argparse
import os
import random
import re
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from uci_client import Engine, legal_moves, parse_bestmove  # noqa: E402

MARGIN = 0.6    # seconds an answer may come after the clock runs out
# A fixed-depth search has no time limit: proving a mate against every
# root move with MultiPV, a small table and a low "% CPU" can take minutes.
# One still running after LONG gets a "stop", and must answer within STOPPED.
LONG = 30.0
STOPPED = 2.0
MAX_PLIES = 160


class Soak:
    def __init__(self, tavik, tool, rng):
        self.tavik, self.tool, self.rng = tavik, tool, rng
        self.games = self.plies = self.flagged = self.stopped = 0
        self.faults = []
        self.engine = None
        # What a fault needs to be replayed: the options and the position.
        self.options = {}
        self.position = ""

    def summary(self):
        return "games %d, plies %d, faults %d, flag falls within the margin %d, long searches stopped %d" \
            % (self.games, self.plies, len(self.faults), self.flagged, self.stopped)

    def fault(self, what):
        transcript = self.engine.lines[-30:] if self.engine else []
        self.faults.append((what, transcript))
        # The load average tells a late answer on a busy machine from a slow engine.
        print("FAULT: %s (load %.1f)\n  %s\n  %s\n  %s" % (what, os.getloadavg()[0], "\n  ".join(self.options.values()),
                                                          self.position, "\n  ".join(transcript)), flush=True)
        self.restart()

    def restart(self):
        if self.engine:
            self.engine.proc.kill()
            self.engine.close(1.0)
        self.options = {}
        self.engine = Engine(self.tavik, handshake=True)

    def between_games(self):
        r = self.rng
        options = ["setoption name Hash value %d" % r.choice([1, 4, 16, 64]),
                   "setoption name MultiPV value %d" % r.choice([1, 1, 2, 4]),
                   "setoption name %% CPU value %d" % r.choice([25, 50, 100])]
        chosen = r.sample(options, r.randint(0, 3))
        # Options last until the engine restarts, so a replay needs each one's latest value.
        self.options.update((c.split(" value")[0], c) for c in chosen)
        self.engine.send(*chosen, "ucinewgame")
        self.engine.sync(timeout=5.0)

    def pause(self, seconds):
        """Reads the engine's lines for a while; the time a bestmove came, or None."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            line = self.engine.line(end - time.monotonic())
            if line is None:
                return None
            if line.startswith("bestmove"):
                return time.monotonic()
        return None

    def search(self, moves, limit, clocks, white):
        """One engine reply with noise; the move, or None after a fault."""
        r, e = self.rng, self.engine
        position = "position startpos" + (" moves " + " ".join(moves) if moves else "")
        self.position = position
        ponder = limit == "clock" and r.random() < 0.15
        if limit == "clock":
            go = "go wtime %d btime %d winc %d binc %d" % (clocks[0], clocks[1], clocks[2], clocks[2])
            budget = clocks[0 if white else 1] / 1000.0 + MARGIN
        else:
            go = "go " + limit
            budget = LONG
        e.lines = []
        e.send(position, go + (" ponder" if ponder else ""))
        start = time.monotonic()
        noise = r.random()
        kind = "ponderhit" if ponder else "isready" if noise < 0.15 else "stop" if noise < 0.25 \
            else "position" if noise < 0.32 else "none"
        answered = None  # when the bestmove line came, if it came during a pause
        if ponder:
            time.sleep(r.uniform(0, 0.3))
            e.send("ponderhit")
            start = time.monotonic()
        elif kind != "none":
            # The pause reads the engine's lines as they come, so that an
            # answer given during it is timed when it came, not after it.
            answered = self.pause(r.uniform(0, 0.3 if kind == "stop" else 0.2))
            e.send(position if kind == "position" else kind)
        try:
            if answered is None:
                reply = self.answer(budget + 2.0) if limit == "clock" else self.answer(LONG, go)
                answered = time.monotonic()
            else:
                reply = next(line for line in e.lines if line.startswith("bestmove"))
        except AssertionError as error:
            self.fault("%s after %r" % (error.args[0].split(";")[0], go))
            return None
        elapsed = answered - start
        if limit == "clock" and elapsed > budget:
            self.fault("answer after %.2f s, clock allowed %.2f s (%r)" % (elapsed, budget, go))
            return None
        problems = e.problems()
        if problems:
            self.fault("; ".join(problems))
            return None
        move = parse_bestmove(reply)[0]
        legal, _ = legal_moves(self.tool, "startpos", moves)
        if move not in {m.lower() for m in legal}:
            self.fault("illegal move %s after %r" % (move, position))
            return None
        if limit == "clock":
            i = 0 if white else 1
            clocks[i] += clocks[2] - int(elapsed * 1000)
            if clocks[i] < 0:
                # The engine's own last "time" tells its search from the
                # delays around it (pipes, scheduling, this script).
                said = [m.group(1) for m in map(re.compile(r" time (\d+) ").search, e.lines) if m]
                print("flag fall: %.0f ms on the clock, answer after %.0f ms (%r, noise %s, engine's time %s ms, load %.1f)"
                      % (clocks[i] + elapsed * 1000 - clocks[2], elapsed * 1000, go, kind,
                         said[-1] if said else "-", os.getloadavg()[0]), flush=True)
                # Late by less than the margin: a GUI's flag would fall, so the
                # game ends here (counted apart) rather than go on with a clock
                # no answer can meet.
                self.flagged += 1
                return None
        return move

    def answer(self, seconds, go=None):
        """The bestmove line; a fixed-limit search (go given) gets a "stop" after the seconds."""
        try:
            return self.engine.until("bestmove", seconds)[-1]
        except AssertionError:
            if go is None:
                raise
        said = [m.group(1) for m in map(re.compile(r" depth (\d+) ").search, self.engine.lines) if m]
        self.engine.send("stop")
        try:
            reply = self.engine.until("bestmove", STOPPED)[-1]
        except AssertionError:
            raise AssertionError("no bestmove within %.1f s of a stop sent after %.0f s" % (STOPPED, seconds))
        self.stopped += 1
        print("stopped after %.0f s: %r at depth %s (%s)" % (seconds, go, said[-1] if said else "-",
                                                           ", ".join(self.options.values()) or "default options"),
              flush=True)
        return reply

    def game(self):
        r = self.rng
        self.between_games()
        kind = r.random()
        limit = "clock" if kind < 0.7 else r.choice(["depth %d" % r.randint(2, 6), "nodes %d" % r.randint(2000, 60000)])
        base = r.choice([3000, 3000, 5000, 10000])
        clocks = [base, base, r.choice([0, 0, 50, 100])]
        random_side = r.choice([None, 0, 1])  # which colour the random mover plays
        moves = []
        while len(moves) < MAX_PLIES:
            legal, end = legal_moves(self.tool, "startpos", moves)
            if end or not legal:
                break
            white = len(moves) % 2 == 0
            if random_side is not None and (0 if white else 1) == random_side:
                moves.append(r.choice(sorted(legal)).lower())
            else:
                move = self.search(moves, limit, clocks, white)
                if move is None:
                    break
                moves.append(move)
            self.plies += 1
        self.games += 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tavik")
    parser.add_argument("tool")
    parser.add_argument("--minutes", type=float, default=10.0)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    args = parser.parse_args()
    print("seed %d" % args.seed, flush=True)
    soak = Soak(os.path.abspath(args.tavik), os.path.abspath(args.tool), random.Random(args.seed))
    soak.restart()
    end = time.monotonic() + args.minutes * 60
    while time.monotonic() < end:
        soak.game()
        if soak.games % 10 == 0:
            print(soak.summary(), flush=True)
    code, _ = soak.engine.close()
    if code != 0:
        soak.faults.append(("exit status %s at the end" % code, []))
    print(soak.summary())
    for what, _ in soak.faults:
        print("  " + what)
    return 1 if soak.faults else 0


if __name__ == "__main__":
    sys.exit(main())
