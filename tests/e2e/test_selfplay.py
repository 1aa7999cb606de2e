#!/usr/bin/env python3
"""Self-play smoke test: two engine processes play short games against each
other on a fast clock through the real protocol. Every move must be legal
(tavik-tool legal), every line well formed, and nothing may crash or hang.

usage: test_selfplay.py <tavik> <tavik-tool>
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import START_FEN, Engine, Failures, legal_moves, parse_bestmove  # noqa: E402

MAX_PLIES = 60
# (start position, clock ms, increment ms, engine options): a few seconds a game.
GAMES = [
    ("startpos", 6000, 100, []),
    ("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4", 3500, 30,
     ["setoption name Hash value 1"]),
    ("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 3500, 20, ["setoption name MultiPV value 2"]),
]


def play(engine_path, tool, start, clock_ms, increment, options, check):
    """Plays one game; returns (plies played, how it ended)."""
    engines = [Engine(engine_path), Engine(engine_path)]
    try:
        for engine in engines:
            check.expect(engine.sync(*options) == [], "silent options")
        fen = START_FEN if start == "startpos" else start
        side = 0 if fen.split()[1] == "w" else 1
        clocks = [clock_ms, clock_ms]
        moves = []
        position = "position startpos" if start == "startpos" else "position fen " + start
        while len(moves) < MAX_PLIES:
            who = (side + len(moves)) % 2
            white, black = clocks if side == 0 else clocks[::-1]
            engines[who].send(position + (" moves " + " ".join(moves) if moves else ""))
            began = time.monotonic()
            engines[who].send("go wtime %d btime %d winc %d binc %d" % (white, black, increment, increment))
            # Nobody may take much more than the whole clock for one move.
            reply = engines[who].until("bestmove", timeout=max(clock_ms, white, black) / 1000.0 + 2.0)[-1]
            used = int((time.monotonic() - began) * 1000)
            check.expect(used < clocks[who], "%s ply %d: %d ms used with %d on the clock" % (
                start, len(moves), used, clocks[who]))
            clocks[who] = max(1, clocks[who] - used) + increment
            best, _ = parse_bestmove(reply)
            if best == "a1a1":
                break
            moves.append(best)
        # One call checks every move in turn: an illegal one fails it and is named.
        legal, status = legal_moves(tool, start, moves)
        if best == "a1a1":
            check.expect(not legal and status, "%s %s: no move with %d legal" % (start, moves, len(legal)))
            return len(moves), status
        return len(moves), "ply limit"
    finally:
        for engine in engines:
            check.expect(engine.close() == 0, "engine exit status")
            for problem in engine.problems():
                check.expect(False, problem)


def main():
    if len(sys.argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    engine_path, tool = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    check = Failures()
    for start, clock_ms, increment, options in GAMES:
        began = time.monotonic()
        try:
            plies, ending = play(engine_path, tool, start, clock_ms, increment, options, check)
        except AssertionError as error:  # a read timed out or the tool refused
            check.expect(False, "%s: %s" % (start, error))
            continue
        print("game from %s: %d plies, %s, %.1f s" % (start, plies, ending, time.monotonic() - began))
    return check.report("self-play")


if __name__ == "__main__":
    sys.exit(main())
