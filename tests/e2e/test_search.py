#!/usr/bin/env python3
"""Searches through the UCI protocol: every kind of limit, stopping, pondering,
MultiPV, mates, positions without moves and bad input. Every line printed must
fit its strict pattern and every best move must be legal (tavik-tool legal).

usage: test_search.py <tavik> <tavik-tool>
"""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from uci_client import Engine, legal_moves, line_kind, parse_bestmove  # noqa: E402

ENGINE = TOOL = None

KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"
# Mate in 2 with one key move each (checked by brute force with the tool).
MATES_IN_2 = [
    ("r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 10", "d5f6"),
    ("r1b2k1r/ppppq3/5N1p/4P2Q/4PP2/1B6/PP5P/n2K2R1 w - - 1 20", "h5h6"),
    ("N2k2r1/pp5p/1b6/4pp2/4p2q/5n1P/PPPPQ3/R1B2K1R b - - 1 20", "h4h3"),
]
MATES_IN_1 = [
    ("r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4", "h5f7"),
    ("6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", "d1d8"),
]
CHECKMATED = "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3"
STALEMATE = "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"
# The only legal move takes the rook and leaves two bare kings.
ONE_MOVE = "k7/8/8/8/8/8/1r6/K7 w - - 0 1"


def position(fen, moves=()):
    base = "position startpos" if fen == "startpos" else "position fen " + fen
    return base + (" moves " + " ".join(moves) if moves else "")


class Search(unittest.TestCase):
    def start(self, *setup):
        engine = Engine(ENGINE)
        self.addCleanup(self.finish, engine)
        if setup:
            self.assertEqual(engine.sync(*setup), [])
        return engine

    def finish(self, engine):
        engine.close()
        self.assertEqual(engine.problems(), [])

    def assert_legal_answer(self, reply, fen="startpos", moves=()):
        """The bestmove line names a legal move and, if any, a legal reply to it."""
        best, ponder = parse_bestmove(reply)
        legal, _ = legal_moves(TOOL, fen, moves)
        self.assertIn(best, legal, "%s in %s %s" % (reply, fen, moves))
        if ponder:
            self.assertIn(ponder, legal_moves(TOOL, fen, tuple(moves) + (best,))[0], reply)
        return best

    def search(self, engine, setup, go_line, timeout=20.0):
        """The lines of one search, ending with its single bestmove. Each go
        cycle appends its move to the game, so the position is sent anew."""
        engine.send(setup, go_line)
        got = engine.until("bestmove", timeout)
        self.assertEqual(engine.sync(), [], "exactly one bestmove per go")
        return got

    def assert_no_reply(self, engine, seconds):
        start = time.monotonic()
        while time.monotonic() - start < seconds:
            text = engine.line(seconds - (time.monotonic() - start))
            self.assertFalse(text and text.startswith("bestmove"), "early %r" % text)

    def test_depth_limit_gives_a_legal_move_and_well_formed_lines(self):
        engine = self.start()
        for fen, moves in [("startpos", ()), ("startpos", ("e2e4", "c7c5", "g1f3")), (KIWIPETE, ()),
                           ("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", ())]:
            got = self.search(engine, position(fen, moves), "go depth 4")
            self.assert_legal_answer(got[-1], fen, moves)
            kinds = [line_kind(text) for text in got]
            self.assertIn("score", kinds)
            self.assertIn("cpuload", kinds)
            self.assertEqual(kinds.count("bestmove"), 1)

    def test_movetime_and_node_limits(self):
        engine = self.start()
        setup = "position startpos moves d2d4 d7d5"
        start = time.monotonic()
        got = self.search(engine, setup, "go movetime 1000")
        took = time.monotonic() - start
        self.assertTrue(1.0 <= took < 1.4, "movetime 1000 took %.3f s" % took)
        self.assert_legal_answer(got[-1], "startpos", ("d2d4", "d7d5"))
        start = time.monotonic()
        got = self.search(engine, setup, "go nodes 1000")
        self.assertLess(time.monotonic() - start, 1.0)
        self.assert_legal_answer(got[-1], "startpos", ("d2d4", "d7d5"))
        closing = [int(t.split()[4]) for t in got if line_kind(t) == "nps"]
        self.assertTrue(closing and closing[0] >= 1000, got[-3:])

    def test_infinite_runs_until_stop_and_isready_is_answered_at_once(self):
        engine = self.start("position startpos")
        engine.send("go infinite")
        self.assert_no_reply(engine, 0.5)
        start = time.monotonic()
        engine.send("isready")
        self.assertTrue(engine.until("readyok", 1.0)[-1] == "readyok")
        self.assertLess(time.monotonic() - start, 0.2)
        self.assert_no_reply(engine, 0.3)  # isready does not end the search
        start = time.monotonic()
        engine.send("stop")
        got = engine.until("bestmove", 2.0)
        self.assertLess(time.monotonic() - start, 0.3)
        self.assert_legal_answer(got[-1])
        self.assertEqual(engine.sync("stop", "ponderhit"), [])  # idle: both silent

    def test_quit_and_end_of_input_during_a_search(self):
        for finish in ["quit", None]:
            engine = self.start("position startpos moves e2e4")
            engine.send("go infinite")
            self.assert_no_reply(engine, 0.3)
            if finish:
                engine.send(finish)
            self.assertEqual(engine.close(5.0), 0)
            best = [t for t in engine.lines if t.startswith("bestmove")]
            self.assertEqual(len(best), 1, engine.lines[-5:])
            self.assert_legal_answer(best[0], "startpos", ("e2e4",))

    def test_ponder_waits_for_ponderhit_or_stop(self):
        engine = self.start("position startpos moves e2e4")
        for release, seconds in [("ponderhit", 3.0), ("stop", 0.3)]:
            # avail 8000 ms: a ponder budget of 250 ms, at most 1000 ms after the hit.
            engine.send("go ponder wtime 10000 btime 10000")
            self.assert_no_reply(engine, 0.6)
            start = time.monotonic()
            engine.send(release)
            got = engine.until("bestmove", seconds + 2.0)
            self.assertLess(time.monotonic() - start, seconds, release)
            self.assert_legal_answer(got[-1], "startpos", ("e2e4",))
            self.assertEqual(engine.sync(), [])
            engine.send("position startpos moves e2e4")
        # A ponder search that ends by itself (a mate is found) still waits.
        fen, key = MATES_IN_1[0]
        engine.send(position(fen), "go ponder wtime 10000 btime 10000")
        self.assert_no_reply(engine, 0.5)
        start = time.monotonic()
        engine.send("ponderhit")
        self.assertEqual(parse_bestmove(engine.until("bestmove", 2.0)[-1])[0], key)
        self.assertLess(time.monotonic() - start, 0.2)

    def test_multipv_prints_numbered_lines(self):
        engine = self.start("setoption name MultiPV value 3")
        got = self.search(engine, position(KIWIPETE), "go depth 3")
        lines = {}
        for text in got:
            if line_kind(text) == "multipv":
                lines[int(text.split()[2])] = text.split(" pv ")[1].split()[0]
        self.assertEqual(sorted(lines), [1, 2, 3], got)
        self.assertEqual(len(set(lines.values())), 3, "three different first moves: %r" % lines)
        self.assertEqual(self.assert_legal_answer(got[-1], KIWIPETE), lines[1].lower())
        self.assertFalse([t for t in got if line_kind(t) == "score"], "no single-line score lines")
        engine.send("setoption name MultiPV value 1")  # back to single-line output
        got = self.search(engine, position(KIWIPETE), "go depth 2")
        self.assertFalse([t for t in got if line_kind(t) == "multipv"])

    def test_mate_searches_find_the_key_move(self):
        engine = self.start()
        for (fen, key), mate in [(case, 2) for case in MATES_IN_2] + [(case, 1) for case in MATES_IN_1]:
            got = self.search(engine, position(fen), "go mate %d" % mate)
            self.assertEqual(parse_bestmove(got[-1])[0], key, fen)
            scores = [t for t in got if line_kind(t) == "score"]
            self.assertTrue(scores and (" mate %d " % mate) in scores[-1], (fen, scores[-1:]))
            # A plain depth search finds it too.
            got = self.search(engine, position(fen), "go depth %d" % (2 * mate + 1))
            self.assertEqual(parse_bestmove(got[-1])[0], key, fen)

    def test_positions_without_moves_and_with_one_move(self):
        engine = self.start()
        for fen, status in [(CHECKMATED, "checkmate"), (STALEMATE, "stalemate")]:
            self.assertEqual(legal_moves(TOOL, fen), (set(), status))
            for go_line in ["go depth 3", "go infinite", "go wtime 10000 btime 10000"]:
                got = self.search(engine, position(fen), go_line, 5.0)
                self.assertEqual(got[-1], "bestmove a1a1", (fen, go_line))
        # Infinite mode: the search ends by itself and answers without a stop.
        self.assertEqual(legal_moves(TOOL, ONE_MOVE)[0], {"a1b2"})
        got = self.search(engine, position(ONE_MOVE), "go infinite", 10.0)
        self.assertEqual(parse_bestmove(got[-1])[0], "a1b2")

    def test_short_clock_answers_at_once(self):
        engine = self.start()
        for go_line in ["go wtime 100", "go wtime 100 btime 100", "go btime 3000 wtime 3000 movestogo 1"]:
            start = time.monotonic()
            got = self.search(engine, "position startpos moves g1f3", go_line)
            self.assertLess(time.monotonic() - start, 0.3, go_line)
            self.assert_legal_answer(got[-1], "startpos", ("g1f3",))

    def test_bad_go_values_and_commands_during_a_search(self):
        engine = self.start()
        # Each ends by itself, quickly; a limit that refuses every iteration answers a1a1.
        for go_line in ["go depth abc", "go wtime -5000 btime -5000", "go movetime -1", "go depth -3",
                        "go mate -1", "go nodes 0 depth 0 movetime x", "go " + "9" * 300, "go movestogo -2"]:
            got = self.search(engine, "position startpos", go_line, 5.0)
            if got[-1] != "bestmove a1a1":
                self.assert_legal_answer(got[-1])
        # These would run for a very long time: a stop ends them.
        for go_line in ["go nodes 99999999999", "go movetime 99999999999", "go depth 1000", "go mate 99"]:
            engine.send("position startpos", go_line)
            self.assert_no_reply(engine, 0.3)
            engine.send("stop")
            self.assert_legal_answer(engine.until("bestmove", 2.0)[-1])
            self.assertEqual(engine.sync(), [])
        # A new position during a search leaves the running search alone; the
        # next search is of the new position.
        engine.send("position startpos", "go infinite")
        self.assert_no_reply(engine, 0.2)
        for text in engine.sync("position fen " + KIWIPETE, "ponderhit", "debug off"):
            self.assertIn(line_kind(text), ("score", "depth", "currmove", "hashfull", "cpuload"), text)
        engine.send("stop")
        self.assert_legal_answer(engine.until("bestmove", 2.0)[-1])
        self.assert_legal_answer(self.search(engine, position(KIWIPETE), "go depth 2")[-1], KIWIPETE)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.stderr.write(__doc__)
        sys.exit(2)
    ENGINE, TOOL = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(Search)
    sys.exit(0 if unittest.TextTestRunner(stream=sys.stdout, verbosity=2).run(suite).wasSuccessful() else 1)
