#!/usr/bin/env python3
"""UCI conversation with the engine as a front end would have it.

Usage: python3 test_protocol.py <tavik> [<tavik-tool>]
Checks exact replies: handshake, isready, debug echo, option confirmations,
the go cycle, bad input and the end of standard input.
"""
import os
import select
import subprocess
import sys
import tempfile
import time
import unittest

ENGINE = None

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


class Engine:
    """The engine as a child process with line-oriented, time-bounded reads."""

    def __init__(self, handshake=True):
        self.stderr = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([ENGINE], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=self.stderr, cwd=tempfile.gettempdir())
        self.pending = b""
        self.raw = b""
        if handshake:
            self.send("uci")
            got = self.lines(len(HANDSHAKE))
            assert got == HANDSHAKE, got

    def send(self, text):
        self.send_raw(text.encode("latin-1") + b"\n")

    def send_raw(self, data):
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    def close_input(self):
        self.proc.stdin.close()

    def line(self, timeout=5.0):
        """Next output line without its line feed, or None on timeout/EOF."""
        deadline = time.monotonic() + timeout
        while b"\n" not in self.pending:
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            ready, _, _ = select.select([self.proc.stdout], [], [], left)
            if not ready:
                return None
            chunk = os.read(self.proc.stdout.fileno(), 65536)
            if not chunk:
                return None
            self.pending += chunk
            self.raw += chunk
        text, self.pending = self.pending.split(b"\n", 1)
        return text.decode("latin-1")

    def lines(self, count, timeout=5.0):
        out = []
        for _ in range(count):
            text = self.line(timeout)
            if text is None:
                break
            out.append(text)
        return out

    def until(self, predicate, timeout=5.0):
        """Lines up to and including the first one that satisfies predicate."""
        out = []
        while True:
            text = self.line(timeout)
            if text is None:
                raise AssertionError("no matching line; got %r" % out[-20:])
            out.append(text)
            if predicate(text):
                return out

    def sync(self):
        """Lines printed before the reply to an isready sent now."""
        self.send("isready")
        got = self.until(lambda s: s == "readyok")
        return got[:-1]

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def finish(self):
        if self.proc.poll() is None:
            try:
                self.close_input()
            except (BrokenPipeError, OSError):
                pass
            if self.wait_exit(5) is None:
                self.proc.kill()
                self.proc.wait()
        self.proc.stdout.close()
        self.stderr.seek(0)
        errors = self.stderr.read().decode("latin-1")
        self.stderr.close()
        return errors


class Protocol(unittest.TestCase):
    def setUp(self):
        self.engines = []

    def tearDown(self):
        for engine in self.engines:
            errors = engine.finish()
            self.assertNotIn("AddressSanitizer", errors)
            self.assertNotIn("runtime error", errors)
            self.assertNotIn(b"\r", engine.raw)

    def start(self, handshake=True):
        engine = Engine(handshake)
        self.engines.append(engine)
        return engine

    def go_cycle(self, engine, go_line):
        engine.send(go_line)
        got = engine.until(lambda s: s.startswith("bestmove"))
        self.assertEqual(engine.sync(), [], "exactly one bestmove per go")
        return got

    def assert_empty_search(self, got, prefix=()):
        """The placeholder search finds nothing: cpuload, fallback line, nps."""
        self.assertEqual(got[:len(prefix)], list(prefix))
        got = got[len(prefix):]
        self.assertRegex(got[0], r"^info cpuload \d+$")
        self.assertRegex(got[1], r"^info score cp 0 depth 0 nodes 0 time \d+ pv a1a1$")
        rest = got[2:-1]
        self.assertLessEqual(len(rest), 1)
        for text in rest:
            self.assertRegex(text, r"^info nps \d+ nodes 0$")
        self.assertEqual(got[-1], "bestmove a1a1")

    # --- handshake -------------------------------------------------------

    def test_handshake_and_isready(self):
        engine = self.start()
        self.assertEqual(engine.sync(), [])
        engine.send("quit")
        self.assertEqual(engine.wait_exit(2), 0)
        self.assertEqual(engine.pending, b"")

    def test_lines_before_uci_get_no_reply(self):
        engine = self.start(handshake=False)
        for text in ["isready", "debug on", "uci now", "go depth 1", "", "position startpos"]:
            engine.send(text)
        engine.send("uci")
        self.assertEqual(engine.lines(len(HANDSHAKE)), HANDSHAKE)
        # "debug on" before the handshake was dropped: no echo now.
        self.assertEqual(engine.sync(), [])

    def test_handshake_gives_up_after_two_seconds(self):
        engine = self.start(handshake=False)
        engine.send("hello")
        self.assertEqual(engine.wait_exit(6), 0)
        self.assertEqual(engine.line(0.5), None)
        self.assertEqual(engine.raw, b"")

    def test_uci_after_handshake_is_unknown(self):
        engine = self.start()
        engine.send("uci")
        self.assertEqual(engine.sync(), [])
        engine.send("debug on")
        engine.send("uci")
        self.assertEqual(engine.sync(),
                         ["info string uci", "info string ??? uci", "info string isready"])

    # --- commands --------------------------------------------------------

    def test_debug_echo(self):
        engine = self.start()
        engine.send("debug on")
        engine.send("foo bar")
        self.assertEqual(engine.sync(), ["info string foo bar", "info string ??? foo bar",
                                         "info string isready"])
        for text in ["ucinewgame", "stop now", "go", "isready 1", "Debug on"]:
            engine.send(text)
            self.assertEqual(engine.sync(), ["info string " + text, "info string ??? " + text,
                                             "info string isready"])
        engine.send("stop")  # known commands are only echoed
        self.assertEqual(engine.sync(), ["info string stop", "info string isready"])
        engine.send("debug off")
        self.assertEqual(engine.sync(), ["info string debug off"])
        engine.send("foo")
        self.assertEqual(engine.sync(), [])

    def test_go_depth_on_a_position_gives_one_bestmove(self):
        engine = self.start()
        engine.send("position startpos moves e2e4 e7e5")
        self.assertEqual(engine.sync(), [])
        self.assert_empty_search(self.go_cycle(engine, "go depth 1"))
        # Idle commands that only matter during a search stay silent.
        for text in ["stop", "ponderhit", "position startpos"]:
            engine.send(text)
        self.assertEqual(engine.sync(), [])

    def test_clock_managed_go_lines(self):
        engine = self.start()
        engine.send("position startpos")
        got = self.go_cycle(engine, "go wtime 60000 movestogo 20")
        self.assert_empty_search(got, ["info string temps = 2900 11600"])
        # Black to move uses btime.
        engine.send("position startpos moves e2e4")
        got = self.go_cycle(engine, "go wtime 100000 btime 60000 movestogo 20")
        self.assert_empty_search(got, ["info string temps = 2900 11600"])
        # Without movestogo nothing is printed about the budget.
        self.assert_empty_search(self.go_cycle(engine, "go wtime 60000 btime 60000"))
        self.assert_empty_search(self.go_cycle(engine, "go "))
        self.assert_empty_search(self.go_cycle(engine, "go infinite"))
        self.assert_empty_search(self.go_cycle(engine, "go mate 2"))
        self.assert_empty_search(self.go_cycle(engine, "go movetime 50 nodes 10 searchmoves e2e4"))

    def test_multipv_without_lines_prints_no_score_line(self):
        engine = self.start()
        engine.send("setoption name MultiPV value 3")
        engine.send("position startpos")
        got = self.go_cycle(engine, "go depth 2")
        self.assertRegex(got[0], r"^info cpuload \d+$")
        self.assertFalse(any(s.startswith("info score") or s.startswith("info multipv")
                             for s in got))
        self.assertEqual(got[-1], "bestmove a1a1")
        engine.send("setoption name MultiPV value 1")
        self.assert_empty_search(self.go_cycle(engine, "go depth 2"))

    def test_ponder_waits_for_ponderhit_or_stop(self):
        engine = self.start()
        engine.send("position startpos")
        for release in ["ponderhit", "stop"]:
            engine.send("go ponder wtime 60000 btime 60000")
            got = engine.until(lambda s: s.startswith("info score"))
            self.assertRegex(got[0], r"^info cpuload \d+$")
            # Still pondering: isready is served, bestmove is withheld.
            for text in engine.sync():
                self.assertRegex(text, r"^info nps \d+ nodes 0$")
            self.assertIsNone(engine.line(0.3))
            engine.send(release)
            self.assertEqual(engine.until(lambda s: s.startswith("bestmove"))[-1], "bestmove a1a1")
            self.assertEqual(engine.sync(), [])

    def test_options(self):
        engine = self.start()
        engine.send("setoption name % CPU value 5")  # always confirmed, corrected
        self.assertEqual(engine.sync(), ["info string Cpu 100 %"])
        engine.send("setoption name % CPU value 40")
        self.assertEqual(engine.sync(), ["info string Cpu 40 %"])
        engine.send("setoption name Hash value 8")
        engine.send("setoption name MultiPV value 2")
        self.assertEqual(engine.sync(), [])
        engine.send("debug on")
        self.assertEqual(engine.sync(), ["info string isready"])
        cases = [
            ("Hash value 16", ["info string Hash : 16 Mo"]),
            ("Hash value 1", ["info string Hash : 1 Mo"]),
            ("NalimovPath value c:\\", []),
            ("NalimovPath value " + "p" * 300, []),
            ("NalimovPath value /nonexistent/tb", ["info string NalimovPath : /nonexistent/tb"]),
            ("NalimovPath value /nonexistent/tb", []),
            ("NalimovCache value 4", []),
            ("NalimovCache value 16", ["info string NalimovCache : 16 Mo"]),
            ("DrawScore value -50", ["info string DrawScore : -50"]),
            ("Nullmove value 2", ["info string Nullmove : 2"]),
            ("OwnBook value false", ["info string OwnBook : false"]),
            ("OwnBook value True", []),
            ("OwnBook value true", ["info string OwnBook : true"]),
            ("Clear Hash", []),
            ("MultiPV value 17", ["info string MultiPV : 17"]),
            ("% CPU value 100", ["info string Cpu 100 %"]),
            ("% CPU value 101", ["info string Cpu 100 %"]),
            ("% CPU value 10", ["info string Cpu 10 %"]),
            ("hash value 8", []),
            ("Hash  value 8", []),
        ]
        for text, reply in cases:
            line = "setoption name " + text
            engine.send(line)
            self.assertEqual(engine.sync(), ["info string " + line] + reply + ["info string isready"],
                             text)
        engine.send("setoption name")  # no "name " prefix: unknown
        self.assertEqual(engine.sync(), ["info string setoption name",
                                         "info string ??? setoption name", "info string isready"])
        # A throttled engine with 16 lines still answers every go once.
        engine.send("debug off")
        engine.send("position startpos")
        got = self.go_cycle(engine, "go depth 1")
        self.assertEqual(got[-1], "bestmove a1a1")

    # --- bad input -------------------------------------------------------

    def test_bad_input_is_harmless(self):
        engine = self.start()
        junk = [
            "x" * 100000,
            "",
            "   ",
            "position fen",
            "position fen xyz/abc w KQkq - moves e2e4",
            "position fen " + "8/" * 2000,
            "position startpos moves zz99 e2e4 e2 e7e5x  h7h8q a1a1 i9i9",
            "position startpos moves " + "e2e4 e7e5 " * 500,
            "position",
            "go depth",
            "go wtime -5 btime abc winc 99999999999999999999",
            "setoption name Hash value -1",
            "setoption name Hash value 99999999999",
            "setoption name MultiPV value -3",
            "setoption name NalimovCache value 0",
            "setoption name % CPU value -2147483648",
        ]
        for text in junk:
            engine.send(text)
            if text.startswith("go"):
                engine.until(lambda s: s.startswith("bestmove"))
            if text.startswith("setoption name % CPU"):
                engine.until(lambda s: s.startswith("info string Cpu"))
        self.assertEqual(engine.sync(), [])
        engine.send_raw(b"\x00\x01\xff\xfe binary \x00 junk\r\n\x7f\x80\n\x00\n")
        self.assertEqual(engine.sync(), [])
        engine.send_raw(b"isready\x00trailing\n")  # a NUL ends the command text
        self.assertEqual(engine.line(), "readyok")
        engine.send("position startpos moves e2e4")
        self.assert_empty_search(self.go_cycle(engine, "go depth 1"))

    def test_long_line_is_echoed_in_pieces(self):
        engine = self.start()
        engine.send("debug on")
        self.assertEqual(engine.sync(), ["info string isready"])
        engine.send("y" * 10000)
        got = engine.sync()
        sizes = [4095, 4095, 10000 - 8190]
        expected = []
        for size in sizes:
            expected += ["info string " + "y" * size, "info string ??? " + "y" * size]
        self.assertEqual(got, expected + ["info string isready"])

    def test_burst_of_commands(self):
        engine = self.start()
        engine.send_raw(b"isready\nisready\r\nposition startpos\ngo depth 1\nisready\n")
        self.assertEqual(engine.lines(2), ["readyok", "readyok"])
        got = engine.until(lambda s: s.startswith("bestmove"))
        self.assert_empty_search(got)
        self.assertEqual(engine.line(), "readyok")

    # --- end of input ----------------------------------------------------

    def assert_exits_quickly(self, engine):
        start = time.monotonic()
        engine.close_input()
        code = engine.wait_exit(5)
        self.assertEqual(code, 0)
        self.assertLess(time.monotonic() - start, 1.0)

    def test_end_of_input_before_uci(self):
        engine = self.start(handshake=False)
        self.assert_exits_quickly(engine)
        self.assertEqual(engine.line(0.2), None)
        self.assertEqual(engine.raw, b"")

    def test_end_of_input_while_idle(self):
        engine = self.start()
        engine.send("position startpos moves e2e4")
        self.assertEqual(engine.sync(), [])
        self.assert_exits_quickly(engine)

    def test_end_of_input_after_go_infinite(self):
        engine = self.start()
        engine.send("position startpos")
        engine.send("go infinite")
        self.assert_exits_quickly(engine)
        got = engine.until(lambda s: s.startswith("bestmove"))
        self.assertEqual(got[-1], "bestmove a1a1")

    def test_end_of_input_while_pondering(self):
        engine = self.start()
        engine.send("position startpos")
        engine.send("go ponder wtime 60000 btime 60000")
        engine.until(lambda s: s.startswith("info score"))
        self.assert_exits_quickly(engine)
        self.assertEqual(engine.until(lambda s: s.startswith("bestmove"))[-1], "bestmove a1a1")

    def test_last_line_without_line_feed_is_served(self):
        engine = self.start(handshake=False)
        engine.send_raw(b"uci\nisready")
        engine.close_input()
        self.assertEqual(engine.lines(len(HANDSHAKE) + 1), HANDSHAKE + ["readyok"])
        self.assertEqual(engine.wait_exit(2), 0)
        self.assertEqual(engine.line(0.2), None)


def main():
    global ENGINE
    if len(sys.argv) < 2:
        print("usage: test_protocol.py <tavik> [<tavik-tool>]")
        return 2
    ENGINE = os.path.abspath(sys.argv[1])
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(Protocol)
    result = unittest.TextTestRunner(stream=sys.stdout, verbosity=2).run(suite)
    failed = len(result.failures) + len(result.errors)
    print("test_protocol: %d tests, %d failed" % (result.testsRun, failed))
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
