#!/usr/bin/env python3
# UCI conversation with the real engine through pipes: exact replies to the
# handshake, isready, debug echo, options and go, bad input and the end of
# standard input. Usage: python3 test_protocol.py <tavik> [<tavik-tool>]
import os
import re
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import uci_client  # noqa: E402
from uci_client import LINE_PATTERNS, MOVE  # noqa: E402

ENGINE = os.path.abspath(sys.argv[1]) if __name__ == "__main__" else None

HANDSHAKE = [
    "id name Tavik5.60",
    "id author Dravelin",
    "option name Hash type spin default 4 min 1 max 1024",
    "option name NalimovCache type spin default 4 min 1 max 128",
    "option name NalimovPath type string default c:\\",
    "option name OwnBook type check default true",
    "option name DrawScore type spin default 0 min -1000 max 1000",
    "option name Nullmove type spin default 3 min 0 max 4",
    "option name Clear Hash type button",
    "option name MultiPV type spin default 1 min 1 max 16",
    "option name % CPU type spin default 100 min 10 max 100",
    "uciok",
]


SCORE_LINE = LINE_PATTERNS["score"]
MULTIPV_LINE = LINE_PATTERNS["multipv"]
PROGRESS = r"^(?:%s)$" % "|".join(LINE_PATTERNS[kind] for kind in ("score", "multipv", "depth", "currmove",
                                                                        "hashfull", "cpuload"))

# Legal moves of the positions searched below.
WHITE_AFTER_E4_E5 = set("a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 f2f3 f2f4 g2g3 g2g4 h2h3 h2h4 b1a3 b1c3 "
                        "g1e2 g1f3 g1h3 f1e2 f1d3 f1c4 f1b5 f1a6 d1e2 d1f3 d1g4 d1h5 e1e2".split())
BLACK_AFTER_E4 = set("a7a6 a7a5 b7b6 b7b5 c7c6 c7c5 d7d6 d7d5 e7e6 e7e5 f7f6 f7f5 g7g6 g7g5 h7h6 h7h5 "
                     "b8a6 b8c6 g8f6 g8h6".split())
WHITE_AT_START = set("a2a3 a2a4 b2b3 b2b4 c2c3 c2c4 d2d3 d2d4 e2e3 e2e4 f2f3 f2f4 g2g3 g2g4 h2h3 h2h4 "
                     "b1a3 b1c3 g1f3 g1h3".split())
# Black is mated: no move to search.
MATED = "position fen 7k/6Q1/6K1/8/8/8/8/8 b - - 0 1"


class Engine(uci_client.Engine):
    def __init__(self, handshake=True):
        super().__init__(ENGINE, handshake=False)
        if handshake:
            assert self.sync("uci") == HANDSHAKE, self.raw

    def line_matching(self, prefix, timeout):  # the first line with prefix; None if none in time
        deadline = time.monotonic() + timeout
        while True:
            text = self.line(max(0.0, deadline - time.monotonic()))
            if text is None or text.startswith(prefix):
                return text

    def close_and_wait(self):  # the exit status and the seconds it took; output stays unread
        start = time.monotonic()
        self.proc.stdin.close()
        try:
            return self.proc.wait(5), time.monotonic() - start
        except subprocess.TimeoutExpired:
            self.proc.kill()
            return None, None


class Protocol(unittest.TestCase):
    def start(self, handshake=True):
        engine = Engine(handshake)
        self.addCleanup(self.check_clean_end, engine)
        return engine

    def check_clean_end(self, engine):
        engine.close_and_wait()
        engine.stderr.seek(0)
        errors = engine.stderr.read()
        self.assertNotIn(b"Sanitizer", errors)
        self.assertNotIn(b"runtime error", errors)
        self.assertNotIn(b"\r", engine.raw)

    def go(self, engine, go_line, prefix=(), legal=None):
        """A searched go: progress lines, the load, at most the driver's own
        score line (or MultiPV lines), the closing line and a bestmove from `legal` (a set of
        moves; None: no move, "bestmove a1a1")."""
        engine.send(go_line)
        got = engine.until("bestmove")
        self.assertEqual(engine.sync(), [], "exactly one bestmove per go")
        self.assertEqual(got[:len(prefix)], list(prefix))
        rest = got[len(prefix):]
        loads = [i for i, text in enumerate(rest) if re.fullmatch(r"info cpuload \d+", text)]
        self.assertTrue(loads, rest)
        for text in rest[:loads[-1]]:
            self.assertRegex(text, PROGRESS)
        tail = rest[loads[-1] + 1:-1]
        if tail and re.fullmatch(SCORE_LINE, tail[0]):
            tail = tail[1:]
        while tail and re.fullmatch(MULTIPV_LINE, tail[0]):
            tail = tail[1:]
        self.assertLessEqual(len(tail), 1, rest)
        for text in tail:
            self.assertRegex(text, r"^info nps \d+ nodes \d+$")
        if legal is None:
            self.assertEqual(got[-1], "bestmove a1a1")
        else:
            found = re.fullmatch(r"bestmove (%s)(?: ponder %s)?" % (MOVE, MOVE), got[-1])
            self.assertTrue(found, got[-1])
            self.assertIn(found.group(1), legal)
        return got

    def go_refused(self, engine, go_line, message):
        """A go on a position the search cannot take: the reason, no search."""
        engine.send(go_line)
        got = engine.until("bestmove")
        self.assertEqual(engine.sync(), [], "exactly one bestmove per go")
        self.assertEqual(got[0], "info string invalid position: " + message)
        for text in got[1:-1]:
            self.assertRegex(text, r"^info nps \d+ nodes \d+$")  # the last search's count
        self.assertEqual(got[-1], "bestmove a1a1")

    def assert_exits_at_once(self, engine):
        code, seconds = engine.close_and_wait()
        self.assertEqual(code, 0)
        self.assertLess(seconds, 1.0)

    def test_lines_before_uci_get_no_reply_then_handshake_and_quit(self):
        engine = self.start(handshake=False)
        engine.send("isready", "debug on", "uci now", "go depth 1", "", "position startpos")
        self.assertEqual(engine.sync("uci"), HANDSHAKE)  # "debug on" was dropped too
        engine.send("quit")
        self.assertEqual(engine.proc.wait(2), 0)
        self.assertEqual(engine.pending, b"")

    def test_debug_echo_and_unknown_commands(self):
        engine = self.start()
        self.assertEqual(engine.sync("debug on"), ["info string isready"])
        for text in ["foo bar", "ucinewgame", "stop now", "go", "isready 1", "Debug on", "uci",
                     "setoption name"]:
            self.assertEqual(engine.sync(text), ["info string " + text, "info string ??? " + text,
                                                 "info string isready"])
        # A long line is echoed in the pieces it is read in.
        echo = [p + "y" * n for n in (4095, 905) for p in ("info string ", "info string ??? ")]
        self.assertEqual(engine.sync("y" * 5000), echo + ["info string isready"])
        # Known commands are only echoed.
        self.assertEqual(engine.sync("stop"), ["info string stop", "info string isready"])
        self.assertEqual(engine.sync("debug off", "foo"), ["info string debug off"])

    def test_go_cycles_and_the_temps_line(self):
        engine = self.start()
        self.assertEqual(engine.sync("position startpos moves e2e4 e7e5"), [])
        got = self.go(engine, "go depth 1", legal=WHITE_AFTER_E4_E5)
        self.assertTrue([text for text in got if re.fullmatch(SCORE_LINE.replace("depth \\d+", "depth 1"), text)])
        self.assertFalse([text for text in got if " depth 2 " in text], "depth 1 is the last iteration")
        self.assertEqual(engine.sync("stop", "ponderhit", "position startpos moves e2e4"), [])  # idle: silent
        # Black to move: its own clock gives the budget.
        self.go(engine, "go wtime 100000 btime 60000 movestogo 20", ["info string temps = 2900 11600"],
                legal=BLACK_AFTER_E4)
        # The engine's move went into the game: the next go starts from the position after it.
        engine.send("position startpos moves e2e4")
        self.go(engine, "go wtime 4000 btime 4000", legal=BLACK_AFTER_E4)  # no movestogo: no temps line
        # Infinite: only "stop" ends it.
        engine.send("position startpos moves e2e4", "go infinite")
        self.assertIsNone(engine.until("info score") and engine.line_matching("bestmove", 0.5))
        self.go(engine, "stop", legal=BLACK_AFTER_E4)
        # A mated side has no move to search.
        engine.send(MATED)
        self.go(engine, "go depth 3")

    def test_ponder_waits_for_ponderhit_or_stop_and_ends_with_the_input(self):
        engine = self.start()
        for release in ["ponderhit", "stop", None]:
            engine.send("position startpos", "go ponder wtime 60000 btime 60000")
            engine.until("info score")
            # Still pondering: isready is served, bestmove is withheld.
            for text in engine.sync():
                self.assertRegex(text, PROGRESS)
            self.assertIsNone(engine.line_matching("bestmove", 0.3))
            if release:
                engine.send(release)
            else:
                self.assert_exits_at_once(engine)
            best = re.fullmatch(r"bestmove (%s) ponder %s" % (MOVE, MOVE), engine.until("bestmove")[-1])
            self.assertIn(best.group(1), WHITE_AT_START)
        self.assertIsNone(engine.line())  # read to the end: one bestmove per go
        self.assertEqual(engine.raw.count(b"bestmove"), 3)

    def test_options(self):
        engine = self.start()
        # Only the CPU share is confirmed outside debug mode; out of range: 100.
        got = engine.sync("setoption name % CPU value 5", "setoption name Hash value 8", "debug on")
        self.assertEqual(got, ["info string Cpu 100 %", "info string isready"])
        cases = [
            ("Hash value 16", ["info string Hash : 16 Mo"]),
            ("NalimovPath value c:\\", []),  # unchanged
            ("NalimovPath value " + "p" * 300, []),  # too long: refused
            ("NalimovPath value /nonexistent/tb", ["info string NalimovPath : /nonexistent/tb"]),
            ("NalimovCache value 4", []),  # unchanged
            ("NalimovCache value 16", ["info string NalimovCache : 16 Mo"]),
            ("DrawScore value -50", ["info string DrawScore : -50"]),
            ("Nullmove value 2junk", ["info string Nullmove : 2"]),
            ("OwnBook value false", ["info string OwnBook : false"]),
            ("OwnBook value True", []),  # case matters
            ("Clear Hash", []),
            ("MultiPV value 17", ["info string MultiPV : 17"]),
            ("% CPU value 101", ["info string Cpu 100 %"]),
            ("% CPU value 10", ["info string Cpu 10 %"]),
        ]
        for text, reply in cases:
            line = "setoption name " + text
            self.assertEqual(engine.sync(line), ["info string " + line] + reply + ["info string isready"])
        # A throttled engine with 16 lines that found none prints no score line.
        engine.send("debug off", MATED)
        got = self.go(engine, "go depth 2", ["info string debug off"])
        self.assertFalse([s for s in got if s.startswith(("info score", "info multipv"))])
        # Three lines from the start position: numbered lines, three moves.
        engine.send("setoption name MultiPV value 3", "setoption name % CPU value 100", "position startpos")
        got = self.go(engine, "go depth 3", ["info string Cpu 100 %"], legal=WHITE_AT_START)
        lines = [re.fullmatch(r"info multipv ([123]) .* pv (%s).*" % MOVE, s) for s in got if "multipv" in s]
        self.assertTrue(lines and all(lines), got)
        self.assertEqual({m.group(1) for m in lines}, {"1", "2", "3"})
        self.assertLessEqual({m.group(2) for m in lines}, WHITE_AT_START)

    def test_bad_input_is_harmless(self):
        engine = self.start()
        junk = ["x" * 100000, "", "   ", "position fen", "position fen xyz/abc w KQkq - moves e2e4",
                "position fen " + "8/" * 2000, "position startpos moves zz99 e2e4 e2 e7e5x  h7h8q i9i9",
                "position startpos moves " + "e2e4 e7e5 " * 500, "position", "setoption name Hash value -1",
                "setoption name Hash value 99999999999", "setoption name MultiPV value -3",
                "setoption name NalimovCache value 0", "setoption name % CPU value -2147483648",
                b"\x00\x01\xff\xfe binary \x00 junk\r\n\x7f\x80\n\x00\n"]
        self.assertEqual(engine.sync(*junk), ["info string Cpu 100 %"])
        engine.send("position startpos moves e2e4 e7e5")
        self.go(engine, "go wtime -5 btime abc winc 99999999999999999999", legal=WHITE_AFTER_E4_E5)
        engine.send(b"isready\x00trailing\n")  # a NUL ends the command text
        self.assertEqual(engine.line(), "readyok")
        engine.send("position startpos moves e2e4")
        self.go(engine, "go depth 1", legal=BLACK_AFTER_E4)
        # Positions no search can take are refused with the reason.
        for fen, message in [("8/8/8/8/8/8/8/8 w - -", "each side needs exactly one king"),
                             ("4k3/8/8/8/8/8/8/4RK2 w - - 0 1", "the side not to move is in check"),
                             ("8/8/8/3kK3/8/8/8/8 b - - 0 1", "the kings stand next to each other"),
                             ("4k3/8/8/8/8/8/8/P3K3 w - - 0 1", "pawn on the first or last rank")]:
            engine.send("position fen " + fen)
            self.go_refused(engine, "go depth 3", message)
        engine.send("position fen " + fen, "go ponder wtime 1000 btime 1000")
        self.assertIsNone(engine.line_matching("bestmove", 0.3))  # a ponder answer waits even so
        engine.send("stop")
        self.assertEqual(engine.until("bestmove")[-1], "bestmove a1a1")

    def test_end_of_input_exits_at_once(self):
        idle = self.start()
        self.assertEqual(idle.sync("position startpos moves e2e4"), [])
        self.assert_exits_at_once(idle)
        fresh = self.start(handshake=False)
        self.assert_exits_at_once(fresh)
        self.assertIsNone(fresh.line(0.2))
        self.assertEqual(fresh.raw, b"")
        last = self.start(handshake=False)  # the last line needs no line feed
        last.send(b"uci\nisready")
        self.assertEqual(last.close_and_wait()[0], 0)
        self.assertEqual(last.until("readyok"), HANDSHAKE + ["readyok"])


if __name__ == "__main__":
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(Protocol)
    sys.exit(0 if unittest.TextTestRunner(stream=sys.stdout, verbosity=2).run(suite).wasSuccessful() else 1)
