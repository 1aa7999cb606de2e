// The UCI front end: value parsing, options, clock budget, report texts, the
// MultiPV table, the input channel (through a pipe on fd 0), the stop
// decisions and the throttle heartbeat. Dispatch and the debug echo are
// checked end to end in tests/e2e/test_uci.py.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <unistd.h>

#include "frontend/engine_state.h"
#include "frontend/game_record.h"
#include "frontend/input.h"
#include "frontend/options.h"
#include "frontend/poll.h"
#include "frontend/report.h"
#include "frontend/text_io.h"
#include "frontend/threads.h"
#include "frontend/throttle.h"
#include "frontend/timeman.h"
#include "frontend/uci.h"
#include "platform/platform.h"
#include "search/search.h"
#include "search/tt.h"
#include "test_board.h"

namespace {

Move mv(const char* text) { return parseMoveText(text); }

template <class F>
std::string printed(F&& f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

// Puts a pipe on standard input for the lifetime of the object; closing
// fds[1] ends the input.
struct StdinPipe {
    int saved = dup(0), fds[2] = {-1, -1};
    StdinPipe() {
        EXPECT_EQ(pipe(fds), 0);
        dup2(fds[0], 0);
        initInputChannel();
    }
    ~StdinPipe() {
        for (int fd : {fds[0], fds[1]}) ::close(fd);
        dup2(saved, 0);
        ::close(saved);
        initInputChannel();
    }
    void send(const std::string& s) { ASSERT_EQ(write(fds[1], s.data(), s.size()), ssize_t(s.size())); }
};

// Every test starts from a quiet, clock-managed, white-to-move state.
class FrontEnd : public ::testing::Test {
protected:
    void SetUp() override {
        debugFlag = ponderFlag = fixedLimits = testMode = quitFlag = goFlag = stopFlag = 0;
        rootScore = rootBound = referenceScore = currentDepth = lineShown = 0;
        bestMove = ponderMove = easyMove = 0;
        currentNodes = lastLineTime = 0;
        searchStart = tickCount();
        setFromFen(StartFen);
    }
};

TEST(Parse, DecimalsSaturateAndGoTakesTheTokenAfterTheKeyword) {
    const std::pair<const char*, int> decimals[] = {
        {"42", 42}, {"  -17", -17}, {"+5", 5}, {"12abc", 12}, {"abc", 0}, {"", 0}, {"--3", 0},
        {"99999999999999999999", INT_MAX}, {"-99999999999999999999", INT_MIN}, {"-2147483648", INT_MIN}};
    for (auto [text, value] : decimals) EXPECT_EQ(parseDecimal(text), value) << text;
    std::string longToken = "go depth " + std::string(1000, '9');
    const struct { const char *line, *keyword; int value; } params[] = {
        {"go wtime 60000 btime 5", "wtime", 60000}, {"go wtime 60000 btime 5", "btime", 5},
        {"go wtime", "wtime", 0}, {"go wtime  700", "wtime", 0}, {"go depth x7", "depth", 0},
        {"go depth 7x", "depth", 7}, {"go movetime 100", "depth", 0}, {longToken.c_str(), "depth", INT_MAX}};
    for (auto& p : params) EXPECT_EQ(goParameter(p.line, p.keyword), p.value) << p.line;
}

TEST_F(FrontEnd, ParseGoSelectsTheModeAndResetsTheRest) {
    parseGo("go mate 3 ponder nodes -1");
    EXPECT_EQ(std::tuple(fixedLimits, mateMoves, ponderFlag, nodeLimit), std::tuple(1, 3, 1, 0xFFFFFFFFull));
    parseGo("go infinite");
    EXPECT_EQ(std::tuple(fixedLimits, infiniteFlag, mateMoves, ponderFlag), std::tuple(1, 1, 0, 0));
    parseGo("go depth 0 movetime abc wtime 60000 btime 10000 winc 2000 binc 0");  // zeros: absent
    EXPECT_EQ(std::tuple(fixedLimits, infiniteFlag, targetTime), std::tuple(0, 0, 2450u));
}

TEST_F(FrontEnd, BudgetWorkedValues) {
    for (const DataRow& r : dataRows("clock_budget.txt")) {
        ponderFlag = int(num(r[3]));
        const std::string out = printed([&] { computeBudget(int(num(r[0])), int(num(r[1])), int(num(r[2]))); });
        EXPECT_EQ(std::tuple(targetTime, maxTime, out), std::tuple(uint32_t(num(r[4])), uint32_t(num(r[5])),
                                                                    r[6] == "-" ? "" : r[6] + "\n"))
            << r[0] << " " << r[1] << " " << r[2];
    }
    // The side to move's clock counts.
    setPosition("position startpos moves e2e4");
    EXPECT_EQ(printed([] { parseGo("go wtime 100000 btime 60000 movestogo 20"); }), "info string temps = 2900 11600\n");
}

TEST_F(FrontEnd, OptionsTakeEffectAndConfirmOnlyInDebugMode) {
    EXPECT_EQ(printed([] { setOption("Hash value 2"), setOption("% CPU value 5"); }), "info string Cpu 100 %\n");
    EXPECT_EQ(transpositionTable.mask + 1, 65536u);
    debugFlag = 1;
    const std::map<std::string, int (*)()> effect = {
        {"buckets", [] { return int(transpositionTable.mask + 1); }}, {"cache", [] { return cacheMegabytes; }},
        {"draw", [] { return searchEngine.drawScore; }}, {"nullmove", [] { return searchEngine.nullMoveReduction; }},
        {"ownbook", [] { return ownBook; }}, {"multipv", [] { return multiPVSetting; }},
        {"lowercase", [] { return lowercasePromotions; }}, {"threads", searchThreadCount},
        {"-", [] { return 0; }}};
    for (const DataRow& r : dataRows("options.txt")) {
        EXPECT_EQ(printed([&] { setOption(r[0].c_str()); }), r[1] == "-" ? "" : "info string " + r[1] + "\n") << r[0];
        if (r[2] == "path")
            EXPECT_STREQ(tablebasePath, r[3].c_str());
        else
            EXPECT_EQ(effect.at(r[2])(), num(r[3])) << r[0];
    }
    ttStore(1, 0, 0, 5, 0, 0x77);
    setOption("Clear Hash");
    EXPECT_EQ(ttBestMove(1), 0u);
    setOption(("NalimovPath value " + std::string(300, 'p')).c_str());  // no room: refused
    EXPECT_STREQ(tablebasePath, "/nonexistent");
    searchEngine.drawScore = 0;
    searchEngine.nullMoveReduction = 3;
    multiPVSetting = 1;
    setOption("Threads value 1");
}

TEST(ReportText, ScoresBoundsAndPv) {
    char text[ScoreTextSize];
    const std::pair<int, const char*> scores[] = {{29999, "mate 1"},   {29998, "mate 1"},    {29997, "mate 2"},
                                                  {28001, "mate 1000"}, {28000, "cp 28000"}, {-29998, "cp -29998"}};
    for (auto [score, expected] : scores) EXPECT_STREQ(scoreText(score, text), expected);
    EXPECT_EQ(std::string(boundSuffix(0)) + boundSuffix(1) + boundSuffix(2), " lowerbound upperbound");
    Move pv[] = {mv("e2e4"), mv("e7e5"), mv("g7g8q"), 0, mv("a2a3")};
    char moves[64];
    EXPECT_STREQ(pvText(pv, 64, moves, sizeof moves), "e2e4 e7e5 g7g8Q");
    EXPECT_STREQ(pvText(pv, 2, moves, sizeof moves), "e2e4 e7e5");
    EXPECT_STREQ(pvText(pv, 64, moves, 12), "e2e4 e7e5");  // never overflows
}

TEST_F(FrontEnd, RootLinesPrintSparselyAndTrackTheBestMove) {
    fixedLimits = 1;  // no stop rule interferes
    currentDepth = 3;
    currentNodes = 1234;
    Move pv1[] = {mv("e2e4"), mv("e7e5"), 0}, pv2[] = {mv("e2e4"), mv("c7c5"), 0};
    Move pv3[] = {mv("e2e4"), 0}, pv4[] = {mv("d2d4"), 0};
    std::string out = printed([&] { EXPECT_EQ(reportRootLine(25, 0, pv1), 0); });
    EXPECT_EQ(out.substr(out.size() - 14), " pv e2e4 e7e5\n");
    // Same best move, only bounds, within a second: silent but recorded; a
    // one-move PV keeps the known ponder move.
    out = printed([&] { reportRootLine(40, 1, pv2); });
    EXPECT_EQ(out + printed([&] { reportRootLine(45, 2, pv3); }), "");
    EXPECT_EQ(std::tuple(rootScore, rootBound, bestMove, ponderMove, lineShown),
              std::tuple(45, 2, mv("e2e4"), mv("c7c5"), 1));
    // A new best move is always shown, its ponder move cleared.
    out = printed([&] { reportRootLine(50, 2, pv4); });
    EXPECT_NE(out.find("cp 50 upperbound depth 3"), std::string::npos);
    EXPECT_EQ(ponderMove, 0u);
    // Clock-managed with a mate found: stop, printed but not counted.
    fixedLimits = lineShown = 0;
    currentDepth = 2;
    out = printed([&] { EXPECT_EQ(reportRootLine(29997, 0, pv4), 1); });
    EXPECT_EQ(out.substr(0, 24), "info score mate 2 depth ");
    EXPECT_EQ(lineShown, 0);
    ponderMove = mv("d7d5");  // the driver's fallback line joins best and ponder move
    EXPECT_EQ(printed([] { printFallbackScoreLine(8); }),
              "info score mate 2 depth 2 nodes 1234 time 8 pv d2d4 d7d5\n");
}

TEST_F(FrontEnd, MultiPVTableFillsSortsReplacesAndKeepsDeepLines) {
    multiPVTable.count = 3;
    clearMultiPVSlots();
    currentDepth = 1;
    auto update = [](int score, int bound, std::vector<Move> pv) {
        pv.push_back(0);
        return printed([&] { EXPECT_EQ(updateMultiPV(score, bound, pv.data()), 0); });
    };
    auto firsts = [] {
        const MultiPVLine* s = multiPVTable.slots;
        Move f[] = {s[0].pv[0], s[1].pv[0], s[2].pv[0], 0};
        char text[32];
        return std::string(pvText(f, 3, text, sizeof text));
    };
    // Quiet during the first second while the table still has room.
    std::string out = update(10, 0, {mv("a2a3"), mv("a7a6")});
    out += update(30, 0, {mv("b2b3")});
    EXPECT_EQ(out + update(20, 0, {mv("c2c3")}), "");
    EXPECT_EQ(firsts(), "b2b3 c2c3 a2a3");
    EXPECT_EQ(std::tuple(multiPVTable.slots[2].pv[1], bestMove), std::tuple(mv("a7a6"), mv("b2b3")));
    // A fourth move takes the last slot and is sorted in; the table is shown.
    out = update(25, 0, {mv("d2d4"), mv("d7d5")});
    EXPECT_EQ(firsts(), "b2b3 d2d4 c2c3");
    EXPECT_NE(out.find(" pv d2d4 d7d5\ninfo multipv 3 score cp 20 depth 1 nodes 0 time "), std::string::npos);
    // A known move replaces its own slot.
    update(40, 0, {mv("c2c3")});
    EXPECT_EQ(firsts(), "c2c3 b2b3 d2d4");
    EXPECT_EQ(bestMove, mv("c2c3"));
    // A deeper result without a score keeps the score and the PV.
    currentDepth = 4;
    update(NoStoredScore, 1, {mv("c2c3"), mv("b7b6")});
    const MultiPVLine& deep = multiPVTable.slots[0];
    EXPECT_EQ(std::tuple(deep.depth, deep.score, deep.bound, deep.pv[1]), std::tuple(4, 40, 1, Move(0)));
    // A shallower line may not pass it; a long PV is cut at fifteen moves.
    currentDepth = 2;
    update(900, 0, std::vector<Move>(20, mv("g1f3")));
    EXPECT_EQ(firsts(), "c2c3 g1f3 b2b3");
    const Move* cut = multiPVTable.slots[1].pv;
    EXPECT_EQ(std::pair(cut[14], cut[15]), std::pair(mv("g1f3"), Move(0)));
    multiPVTable.count = 0;
}

TEST_F(FrontEnd, InputChannelSplitsLinesPollsAndEnds) {
    StdinPipe in;
    EXPECT_EQ(readLine(0), nullptr);
    in.send("go dep");
    EXPECT_EQ(readLine(0), nullptr);  // half a line is not a line
    // CR dropped, empty line kept, a NUL ends the text, overlong lines come
    // in pieces and a line feed right after the longest line ends just it.
    std::string x(MaxLineLength, 'x'), z(MaxLineLength, 'z');
    in.send(std::string("th 3\r\n\nst\0op\n", 13) + x + z + "\nquit");
    std::vector<std::string> got;
    for (const char* line; (line = readLine(0)) != nullptr;) got.push_back(line);
    EXPECT_EQ(got, (std::vector<std::string>{"go depth 3", "", "st", x, z}));
    ::close(std::exchange(in.fds[1], -1));
    EXPECT_FALSE(inputEnded());
    EXPECT_STREQ(readLine(1), "quit");  // the last line needs no line feed
    EXPECT_TRUE(inputEnded());
    EXPECT_EQ(readLine(1), nullptr);  // never the stale line again
}

TEST_F(FrontEnd, ClockDecisions) {
    testMode = 1;  // no input is read
    for (const DataRow& r : dataRows("clock_decisions.txt")) {
        std::vector<long long> v;
        for (size_t i = 1; i < 14; ++i) v.push_back(num(r[i]));
        fixedLimits = int(v[1]), ponderFlag = int(v[2]), depthLimit = currentDepth = int(v[3]);
        nodeLimit = uint64_t(v[4]), moveTimeLimit = int(v[5]), targetTime = uint32_t(v[6]), maxTime = uint32_t(v[7]);
        referenceScore = int(v[8]), rootScore = int(v[9]), rootBound = int(v[10]);
        int answer = -1;
        printed([&] {
            searchStart = tickCount() - uint32_t(v[11]);
            answer = r[0] == "iteration" ? iterationStart(int(v[0]))
                     : r[0] == "rootmove" ? rootMoveStart(0, int(v[0]))
                     : r[0] == "poll"     ? pollInput(uint64_t(v[0]))
                                          : ponderHitCheck();
        });
        EXPECT_EQ(answer, v[12]) << r[0] << " row with elapsed " << v[11] << ", reference " << v[8];
        if (r[14] != "-") {
            EXPECT_EQ(referenceScore, num(r[14])) << r[0];
        }
    }
}

TEST_F(FrontEnd, SetPositionSkipsBadTokens) {
    setPosition("position startpos moves e2e4  xx e7e5 z");
    EXPECT_EQ(std::tuple(gameRecord.ply, gameRecord.moves[1]), std::tuple(2, mv("e7e5")));
    setPosition("position startpos moves");  // no space after "moves"
    EXPECT_EQ(gameRecord.ply, 0);
    setPosition("position startpos moves e2e4");
    setPosition("position nothing moves e7e5");  // neither keyword: unchanged
    EXPECT_EQ(gameRecord.ply, 1);
    setPosition("position fen");
    setPosition("position fen garbage moves e2e4");  // failed FEN: first position, moves applied
    EXPECT_EQ(gameRecord.ply, 1);
    setPosition("position fen 4k3/8/8/8/8/8/8/4K2R b K - 0 1 moves e8e7");
    const PositionRecord& after = gameRecord.positions[1];
    EXPECT_EQ(std::tuple(gameRecord.ply, after.board[52], after.sideToMove), std::tuple(1, 'k', 0));
}

TEST(Throttle, HeartbeatTicksOnlyWhileRunning) {
    auto ticked = [] {
        sleepMs(30);  // the worker takes the latest signal
        pollRequest = 0;
        for (int i = 0; i < 20 && pollRequest.load() == 0; i++) sleepMs(5);
        return pollRequest.load();
    };
    initThrottle();
    throttleStop();
    throttleStart();  // a stop followed at once by a start: still ticking
    EXPECT_EQ(ticked(), 1);
    throttleStop();
    EXPECT_EQ(ticked(), 0);
    shutdownThrottle();
}

}  // namespace
