// The UCI front end: value parsing, clock budget, report texts, the MultiPV
// table, the input channel (through a pipe on fd 0), dispatch and options.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "frontend/engine_state.h"
#include "frontend/game_record.h"
#include "frontend/input.h"
#include "frontend/options.h"
#include "frontend/report.h"
#include "frontend/throttle.h"
#include "frontend/timeman.h"
#include "frontend/uci.h"
#include "platform/platform.h"
#include "search/search.h"

namespace {

Move mv(const char* text) { return parseMoveText(text); }

// Puts a pipe on standard input for the lifetime of the object.
class StdinPipe {
public:
    StdinPipe() {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        saved_ = dup(0);
        dup2(fds[0], 0);
        ::close(fds[0]);
        writeFd_ = fds[1];
        initInputChannel();
    }
    ~StdinPipe() {
        close();
        dup2(saved_, 0);
        ::close(saved_);
        initInputChannel();
    }
    void send(const std::string& bytes) {
        ASSERT_EQ(::write(writeFd_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    void close() {
        if (writeFd_ >= 0) ::close(writeFd_);
        writeFd_ = -1;
    }

private:
    int saved_ = -1;
    int writeFd_ = -1;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// Every test starts from a quiet, clock-managed, white-to-move state.
class FrontEnd : public ::testing::Test {
protected:
    void SetUp() override {
        debugFlag = 0;
        ponderFlag = 0;
        fixedLimits = 0;
        testMode = 0;
        quitFlag = 0;
        goFlag = 0;
        stopFlag = 0;
        bestMove = ponderMove = 0;
        easyMove = 0;
        rootScore = rootBound = 0;
        referenceScore = 0;
        currentDepth = 0;
        currentNodes = 0;
        lineShown = 0;
        lastLineTime = 0;
        searchStart = tickCount();
        setFromFen(StartFen);
    }
};

TEST(ParseDecimal, SignsBlanksGarbageAndSaturation) {
    EXPECT_EQ(parseDecimal("42"), 42);
    EXPECT_EQ(parseDecimal("  -17"), -17);
    EXPECT_EQ(parseDecimal("+5"), 5);
    EXPECT_EQ(parseDecimal("12abc"), 12);
    EXPECT_EQ(parseDecimal("abc"), 0);
    EXPECT_EQ(parseDecimal(""), 0);
    EXPECT_EQ(parseDecimal("-"), 0);
    EXPECT_EQ(parseDecimal("--3"), 0);
    EXPECT_EQ(parseDecimal("99999999999999999999"), INT_MAX);
    EXPECT_EQ(parseDecimal("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(parseDecimal("-2147483648"), INT_MIN);
}

TEST(GoParameter, TokenAfterTheFirstSpace) {
    EXPECT_EQ(goParameter("go wtime 60000 btime 5", "wtime"), 60000);
    EXPECT_EQ(goParameter("go wtime 60000 btime 5", "btime"), 5);
    EXPECT_EQ(goParameter("go wtime", "wtime"), 0);          // no space after it
    EXPECT_EQ(goParameter("go wtime  700", "wtime"), 0);     // empty token
    EXPECT_EQ(goParameter("go depth x7", "depth"), 0);
    EXPECT_EQ(goParameter("go depth 7x", "depth"), 7);
    EXPECT_EQ(goParameter("go depth -3", "depth"), -3);
    EXPECT_EQ(goParameter("go movetime 100", "depth"), 0);  // keyword absent
    std::string longToken = "go depth " + std::string(1000, '9');
    EXPECT_EQ(goParameter(longToken.c_str(), "depth"), INT_MAX);
}

TEST_F(FrontEnd, ParseGoSelectsTheMode) {
    parseGo("go depth 5");
    EXPECT_EQ(fixedLimits, 1);
    EXPECT_EQ(depthLimit, 5);

    parseGo("go depth 0 wtime 60000");  // a zero depth counts as absent
    EXPECT_EQ(fixedLimits, 0);
    EXPECT_EQ(targetTime, 1450u);

    parseGo("go nodes -1");
    EXPECT_EQ(nodeLimit, 0xFFFFFFFFull);  // low 32 bits only
    EXPECT_EQ(fixedLimits, 1);

    parseGo("go nodes 99999999999");
    EXPECT_EQ(nodeLimit, uint64_t(INT_MAX));

    parseGo("go infinite");
    EXPECT_EQ(infiniteFlag, 1);
    EXPECT_EQ(fixedLimits, 1);

    parseGo("go mate 3 ponder");
    EXPECT_EQ(mateMoves, 3);
    EXPECT_EQ(ponderFlag, 1);
    EXPECT_EQ(infiniteFlag, 0);  // reset by every go line
    EXPECT_EQ(fixedLimits, 1);

    parseGo("go movetime abc");
    EXPECT_EQ(moveTimeLimit, 0);
    EXPECT_EQ(ponderFlag, 0);
    EXPECT_EQ(mateMoves, 0);
    EXPECT_EQ(fixedLimits, 0);
}

TEST_F(FrontEnd, ParseGoUsesTheClockOfTheSideToMove) {
    parseGo("go wtime 60000 btime 10000 winc 2000 binc 0");
    EXPECT_EQ(targetTime, 2450u);  // 58000 / 40 + 2000 / 2
    setPosition("position startpos moves e2e4");
    parseGo("go wtime 60000 btime 10000 winc 2000 binc 0");
    EXPECT_EQ(targetTime, 200u);  // 8000 / 40
    EXPECT_EQ(maxTime, 800u);
}

TEST_F(FrontEnd, BudgetWorkedValues) {
    computeBudget(60000, 0, 0);
    EXPECT_EQ(targetTime, 1450u);
    EXPECT_EQ(maxTime, 5800u);

    testing::internal::CaptureStdout();
    computeBudget(60000, 0, 20);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "info string temps = 2900 11600\n");
    EXPECT_EQ(targetTime, 2900u);
    EXPECT_EQ(maxTime, 11600u);

    computeBudget(3000, 0, 0);  // at most 3 s left: next to nothing
    EXPECT_EQ(targetTime, 0u);
    EXPECT_EQ(maxTime, 0u);

    ponderFlag = 1;
    computeBudget(60000, 0, 0);
    EXPECT_EQ(targetTime, 1812u);  // 58000 / 32
    EXPECT_EQ(maxTime, 7248u);
    ponderFlag = 0;

    computeBudget(2100, 100000, 0);  // increment capped by the time left
    EXPECT_EQ(maxTime, 1u);
    EXPECT_EQ(targetTime, 0u);

    testing::internal::CaptureStdout();
    computeBudget(12000, 0, 1);  // one move left: half the time, all of it at most
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(targetTime, 5000u);
    EXPECT_EQ(maxTime, 10000u);

    computeBudget(60000, -1000000, 0);  // garbage increment never goes negative
    EXPECT_EQ(targetTime, 0u);
    EXPECT_EQ(maxTime, 0u);

    computeBudget(INT_MAX, INT_MAX, 0);
    EXPECT_EQ(maxTime, uint32_t(INT_MAX) - 2000);
}

TEST(ReportText, ScoresBoundsAndPv) {
    char text[ScoreTextSize];
    EXPECT_STREQ(scoreText(29999, text), "mate 1");
    EXPECT_STREQ(scoreText(29998, text), "mate 1");
    EXPECT_STREQ(scoreText(29997, text), "mate 2");
    EXPECT_STREQ(scoreText(28001, text), "mate 1000");
    EXPECT_STREQ(scoreText(28000, text), "cp 28000");
    EXPECT_STREQ(scoreText(-29998, text), "cp -29998");
    EXPECT_STREQ(scoreText(0, text), "cp 0");
    EXPECT_STREQ(boundSuffix(0), "");
    EXPECT_STREQ(boundSuffix(1), " lowerbound");
    EXPECT_STREQ(boundSuffix(2), " upperbound");

    Move pv[] = {mv("e2e4"), mv("e7e5"), mv("g7g8q"), 0, mv("a2a3")};
    char moves[64];
    EXPECT_STREQ(pvText(pv, 64, moves, sizeof moves), "e2e4 e7e5 g7g8Q");
    EXPECT_STREQ(pvText(pv, 2, moves, sizeof moves), "e2e4 e7e5");
    EXPECT_STREQ(pvText(pv + 3, 64, moves, sizeof moves), "");
    EXPECT_STREQ(pvText(pv, 64, moves, 12), "e2e4 e7e5");  // never overflows
}

TEST_F(FrontEnd, RootLinesPrintSparselyAndTrackTheBestMove) {
    fixedLimits = 1;  // no stop rule interferes
    Move pv1[] = {mv("e2e4"), mv("e7e5"), 0};
    Move pv2[] = {mv("e2e4"), mv("c7c5"), 0};
    Move pv3[] = {mv("e2e4"), 0};
    Move pv4[] = {mv("d2d4"), 0};
    currentDepth = 3;
    currentNodes = 1234;

    testing::internal::CaptureStdout();
    EXPECT_EQ(reportRootLine(25, 0, pv1), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.substr(0, 41), "info score cp 25 depth 3 nodes 1234 time ");
    EXPECT_EQ(out.substr(out.size() - 14), " pv e2e4 e7e5\n");
    EXPECT_EQ(bestMove, mv("e2e4"));
    EXPECT_EQ(ponderMove, mv("e7e5"));
    EXPECT_EQ(lineShown, 1);

    // Same best move, only a bound, within a second: silent.
    testing::internal::CaptureStdout();
    reportRootLine(40, 1, pv2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(rootScore, 40);
    EXPECT_EQ(rootBound, 1);
    EXPECT_EQ(ponderMove, mv("c7c5"));

    // A one-move PV keeps the known ponder move.
    testing::internal::CaptureStdout();
    reportRootLine(45, 2, pv3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(ponderMove, mv("c7c5"));

    // A new best move is always shown, its ponder move cleared.
    testing::internal::CaptureStdout();
    reportRootLine(50, 2, pv4);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("cp 50 upperbound depth 3"), std::string::npos);
    EXPECT_EQ(ponderMove, 0u);

    // Clock-managed with a mate found: stop, printed but not counted.
    fixedLimits = 0;
    lineShown = 0;
    currentDepth = 2;
    testing::internal::CaptureStdout();
    EXPECT_EQ(reportRootLine(29997, 0, pv4), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout().substr(0, 24), "info score mate 2 depth ");
    EXPECT_EQ(lineShown, 0);
}

TEST_F(FrontEnd, FallbackScoreLineShowsTheNullMove) {
    testing::internal::CaptureStdout();
    printFallbackScoreLine(7);
    bestMove = mv("e2e4");
    ponderMove = mv("e7e5");
    printFallbackScoreLine(8);
    EXPECT_EQ(lines(testing::internal::GetCapturedStdout()),
              (std::vector<std::string>{"info score cp 0 depth 0 nodes 0 time 7 pv a1a1",
                                        "info score cp 0 depth 0 nodes 0 time 8 pv e2e4 e7e5"}));
}

class MultiPV : public FrontEnd {
protected:
    void SetUp() override {
        FrontEnd::SetUp();
        multiPVTable.count = 3;
        clearMultiPVSlots();
        currentDepth = 1;
    }
    void TearDown() override { multiPVTable.count = 0; }
    std::string update(int score, int bound, std::vector<Move> pv) {
        pv.push_back(0);
        testing::internal::CaptureStdout();
        EXPECT_EQ(updateMultiPV(score, bound, pv.data()), 0);
        return testing::internal::GetCapturedStdout();
    }
    Move first(int slot) { return multiPVTable.slots[slot].pv[0]; }
};

TEST_F(MultiPV, FillsSortsAndReplacesTheLastSlot) {
    // Quiet during the first second while the table still has room.
    EXPECT_EQ(update(10, 0, {mv("a2a3"), mv("a7a6")}), "");
    EXPECT_EQ(update(30, 0, {mv("b2b3")}), "");
    EXPECT_EQ(update(20, 0, {mv("c2c3")}), "");
    EXPECT_EQ(first(0), mv("b2b3"));
    EXPECT_EQ(first(1), mv("c2c3"));
    EXPECT_EQ(first(2), mv("a2a3"));
    EXPECT_EQ(bestMove, mv("b2b3"));
    EXPECT_EQ(multiPVTable.slots[2].pv[1], mv("a7a6"));

    // A fourth move takes the last slot and is sorted in; the table is shown.
    std::string out = update(25, 0, {mv("d2d4"), mv("d7d5")});
    EXPECT_EQ(first(0), mv("b2b3"));
    EXPECT_EQ(first(1), mv("d2d4"));
    EXPECT_EQ(first(2), mv("c2c3"));
    std::vector<std::string> shown = lines(out);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[1].substr(0, 48), "info multipv 2 score cp 25 depth 1 nodes 0 time ");
    EXPECT_EQ(shown[1].substr(shown[1].size() - 13), " pv d2d4 d7d5");
    EXPECT_EQ(lineShown, 1);

    // An update of a known move replaces its slot, no new slot is used.
    update(40, 0, {mv("c2c3")});
    EXPECT_EQ(first(0), mv("c2c3"));
    EXPECT_EQ(bestMove, mv("c2c3"));
    EXPECT_EQ(first(1), mv("b2b3"));
    EXPECT_EQ(first(2), mv("d2d4"));
}

TEST_F(MultiPV, DeeperLinesAreNotDisplacedByShallowerScores) {
    update(10, 0, {mv("a2a3")});
    currentDepth = 2;
    update(5, 0, {mv("b2b3")});
    // b2b3 at depth 2 moves above a2a3 at depth 1 only by score; 5 < 10.
    EXPECT_EQ(first(0), mv("a2a3"));
    update(50, 0, {mv("a2a3")});  // a2a3 now depth 2 and better
    EXPECT_EQ(first(0), mv("a2a3"));
    currentDepth = 1;
    MultiPVLine& deep = multiPVTable.slots[0];
    deep.depth = 5;
    deep.score = -100;
    update(900, 0, {mv("c2c3")});  // shallower: may not pass the deep line
    EXPECT_EQ(first(0), mv("a2a3"));
}

TEST_F(MultiPV, UnscoredResultKeepsScoreAndPv) {
    update(10, 0, {mv("a2a3"), mv("h7h6")});
    currentDepth = 4;
    update(NoStoredScore, 1, {mv("a2a3"), mv("b7b6")});
    const MultiPVLine& slot = multiPVTable.slots[0];
    EXPECT_EQ(slot.depth, 4);
    EXPECT_EQ(slot.score, 10);
    EXPECT_EQ(slot.bound, 1);
    EXPECT_EQ(slot.pv[1], mv("h7h6"));
}

TEST_F(MultiPV, LongPvIsCutAtFifteenMoves) {
    std::vector<Move> pv(20, mv("g1f3"));
    update(10, 0, pv);
    EXPECT_EQ(multiPVTable.slots[0].pv[14], mv("g1f3"));
    EXPECT_EQ(multiPVTable.slots[0].pv[15], 0u);
}

TEST_F(MultiPV, SingleLineModeRecordsNothing) {
    multiPVTable.count = 0;
    EXPECT_EQ(update(10, 0, {mv("a2a3")}), "");
    EXPECT_EQ(multiPVTable.slots[0].depth, 0);
    EXPECT_EQ(bestMove, 0u);
}

TEST(LineSplitter, SplitsAtLineFeedsAndDropsCarriageReturns) {
    LineSplitter s;
    s.reset();
    char out[LineBufferSize];
    const char data[] = "isready\r\nstop\n\npart";
    s.append(data, sizeof data - 1);
    ASSERT_TRUE(s.takeLine(out));
    EXPECT_STREQ(out, "isready");
    ASSERT_TRUE(s.takeLine(out));
    EXPECT_STREQ(out, "stop");
    ASSERT_TRUE(s.takeLine(out));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(s.takeLine(out));  // "part" is not complete yet
    s.append("ial\n", 4);
    ASSERT_TRUE(s.takeLine(out));
    EXPECT_STREQ(out, "partial");
    EXPECT_TRUE(s.empty());
}

TEST(LineSplitter, LongLinesComeInPieces) {
    LineSplitter s;
    s.reset();
    char out[LineBufferSize];
    std::string line(10000, 'x');
    line[4095] = 'y';
    line += '\n';
    size_t fed = 0;
    std::vector<std::string> got;
    while (fed < line.size() || s.hasLine()) {
        if (s.takeLine(out)) {
            got.push_back(out);
            continue;
        }
        size_t n = std::min(line.size() - fed, s.prepareWrite());
        s.append(line.data() + fed, n);
        fed += n;
    }
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], std::string(4095, 'x'));
    EXPECT_EQ(got[1][0], 'y');
    EXPECT_EQ(got[1].size(), 4095u);
    EXPECT_EQ(got[2].size(), 10000u - 8190u);

    // Exactly the longest line, then its line feed: one line, no empty one.
    std::string exact(MaxLineLength, 'z');
    s.append(exact.data(), exact.size());
    EXPECT_FALSE(s.hasLine());
    s.append("\n", 1);
    ASSERT_TRUE(s.takeLine(out));
    EXPECT_EQ(std::strlen(out), size_t(MaxLineLength));
    EXPECT_FALSE(s.hasLine());
}

TEST(LineSplitter, LastLineWithoutLineFeedComesOnceAtTheEnd) {
    LineSplitter s;
    s.reset();
    char out[LineBufferSize];
    const char data[] = "a\0b\nquit";
    s.append(data, sizeof data - 1);
    ASSERT_TRUE(s.takeLine(out));
    EXPECT_EQ(out[0], 'a');  // a NUL byte just ends the C string early
    EXPECT_FALSE(s.takeLine(out));
    s.markEnded();
    ASSERT_TRUE(s.takeLine(out));
    EXPECT_STREQ(out, "quit");
    EXPECT_FALSE(s.takeLine(out));
    EXPECT_TRUE(s.ended());
    EXPECT_TRUE(s.empty());
}

TEST_F(FrontEnd, InputChannelPollsWithoutBlocking) {
    StdinPipe in;
    EXPECT_EQ(readLine(0), nullptr);
    in.send("isready\nstop\n");
    const char* line = readLine(0);
    ASSERT_NE(line, nullptr);
    EXPECT_STREQ(line, "isready");
    line = readLine(0);
    ASSERT_NE(line, nullptr);
    EXPECT_STREQ(line, "stop");
    EXPECT_EQ(readLine(0), nullptr);
    in.send("go dep");
    EXPECT_EQ(readLine(0), nullptr);  // half a line is not a line
    EXPECT_FALSE(inputEnded());
    in.send("th 3\r\n");
    line = readLine(1);
    ASSERT_NE(line, nullptr);
    EXPECT_STREQ(line, "go depth 3");
    in.send("quit");
    in.close();
    line = readLine(1);
    ASSERT_NE(line, nullptr);
    EXPECT_STREQ(line, "quit");
    EXPECT_TRUE(inputEnded());
    EXPECT_EQ(readLine(1), nullptr);  // never the stale line again
    EXPECT_EQ(readLine(0), nullptr);
}

TEST_F(FrontEnd, InputChannelEchoesInDebugModeAndIsSilentInTestMode) {
    StdinPipe in;
    in.send("hello\nworld\n");
    debugFlag = 1;
    testing::internal::CaptureStdout();
    readLine(1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "info string hello\n");
    testMode = 1;
    EXPECT_EQ(readLine(1), nullptr);
    testMode = 0;
    debugFlag = 0;
}

TEST_F(FrontEnd, DispatchFollowsTheCommandTable) {
    StdinPipe in;
    in.send("isready\nisready now\ngo\ngo depth 2\nstop\nstop now\nposition startpos moves e2e4\n"
            "debug on\nucinewgame\ndebug off\nquit\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(dispatchCommand(1), 0);
    EXPECT_EQ(dispatchCommand(1), 0);  // trailing text: unrecognised, silent
    EXPECT_EQ(dispatchCommand(1), 0);  // bare "go" is not "go "
    EXPECT_EQ(goFlag, 0);
    EXPECT_EQ(dispatchCommand(1), 1);
    EXPECT_EQ(goFlag, 1);
    EXPECT_EQ(depthLimit, 2);
    infiniteFlag = ponderFlag = 1;
    EXPECT_EQ(dispatchCommand(1), 1);
    EXPECT_EQ(stopFlag, 1);
    EXPECT_EQ(infiniteFlag, 0);
    EXPECT_EQ(ponderFlag, 0);
    EXPECT_EQ(dispatchCommand(1), 0);
    EXPECT_EQ(dispatchCommand(1), 0);
    EXPECT_EQ(gameRecord.ply, 1);
    EXPECT_EQ(dispatchCommand(1), 0);
    EXPECT_EQ(debugFlag, 1);
    EXPECT_EQ(dispatchCommand(1), 0);
    EXPECT_EQ(dispatchCommand(1), 0);
    EXPECT_EQ(debugFlag, 0);
    EXPECT_EQ(dispatchCommand(1), 1);
    EXPECT_EQ(quitFlag, 1);
    EXPECT_EQ(lines(testing::internal::GetCapturedStdout()),
              (std::vector<std::string>{"readyok", "info string ucinewgame", "info string ??? ucinewgame",
                                        "info string debug off"}));
}

TEST_F(FrontEnd, EndOfInputActsLikeQuit) {
    StdinPipe in;
    EXPECT_EQ(dispatchCommand(0), 0);
    EXPECT_EQ(quitFlag, 0);
    in.close();
    EXPECT_EQ(dispatchCommand(0), 1);
    EXPECT_EQ(quitFlag, 1);
}

TEST_F(FrontEnd, PollInputServesCommandsAndLimits) {
    StdinPipe in;
    fixedLimits = 1;
    nodeLimit = 1000;
    moveTimeLimit = 0;
    EXPECT_EQ(pollInput(999), 0);
    EXPECT_EQ(currentNodes, 999u);
    EXPECT_EQ(pollInput(1000), 1);
    nodeLimit = 0;
    moveTimeLimit = -5;  // garbage must not make the search endless
    EXPECT_EQ(pollInput(1), 1);
    moveTimeLimit = 0;
    in.send("isready\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(pollInput(5), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "readyok\n");
    fixedLimits = 0;
    maxTime = 0;
    EXPECT_EQ(pollInput(5), 1);  // clock-managed: the hard limit is passed
    ponderFlag = 1;
    EXPECT_EQ(pollInput(5), 0);  // but not while pondering
    in.send("stop\n");
    EXPECT_EQ(pollInput(5), 1);
}

TEST_F(FrontEnd, IterationAndPonderHitDecisions) {
    fixedLimits = 1;
    depthLimit = 3;
    EXPECT_EQ(iterationStart(3), 0);
    EXPECT_EQ(iterationStart(4), 1);

    // Clock-managed with a steady score: the reference follows the result.
    fixedLimits = 0;
    targetTime = 100000;
    rootScore = 35;
    referenceScore = 0;
    EXPECT_EQ(iterationStart(4), 0);
    EXPECT_EQ(referenceScore, 35);
    targetTime = 0;  // more than half the target used, score held
    searchStart = tickCount() - 10;
    EXPECT_EQ(iterationStart(5), 1);
    referenceScore = 28500;  // a mate reference is never replaced
    targetTime = 100000;
    EXPECT_EQ(iterationStart(6), 0);
    EXPECT_EQ(referenceScore, 28500);

    // ponderhit: an upper bound or a falling score keeps searching.
    referenceScore = 0;
    targetTime = 0;
    rootScore = 10;
    rootBound = 2;
    EXPECT_EQ(ponderHitCheck(), 0);
    rootBound = 0;
    setEasyMove(0);
    EXPECT_EQ(ponderHitCheck(), 1);
    rootScore = -30;
    EXPECT_EQ(ponderHitCheck(), 0);
    fixedLimits = 1;
    rootScore = 10;
    EXPECT_EQ(ponderHitCheck(), 0);
}

TEST_F(FrontEnd, SetPositionSkipsBadTokens) {
    setPosition("position startpos moves e2e4 e7e5");
    EXPECT_EQ(gameRecord.ply, 2);
    setPosition("position startpos moves e2e4  xx e7e5 z");
    EXPECT_EQ(gameRecord.ply, 2);
    EXPECT_EQ(gameRecord.moves[1], mv("e7e5"));
    setPosition("position startpos moves");  // no space after "moves"
    EXPECT_EQ(gameRecord.ply, 0);
    setPosition("position startpos moves e2e4");
    setPosition("position nothing moves e7e5");  // neither keyword: unchanged
    EXPECT_EQ(gameRecord.ply, 1);
    setPosition("position fen");
    setPosition("position fen garbage moves e2e4");
    EXPECT_EQ(gameRecord.ply, 1);  // failed FEN: first position, moves applied
    setPosition("position fen 4k3/8/8/8/8/8/8/4K2R b K - 0 1 moves e8e7");
    EXPECT_EQ(gameRecord.ply, 1);
    EXPECT_EQ(gameRecord.positions[1].board[52], 'k');
    EXPECT_EQ(gameRecord.positions[1].sideToMove, 0);
}

TEST_F(FrontEnd, OptionsChangeSettingsAndConfirm) {
    testing::internal::CaptureStdout();
    setOption("% CPU value 5");
    setOption("% CPU value 50");
    setOption("DrawScore value -25");
    setOption("Nullmove value 2junk");
    setOption("MultiPV value 4");
    setOption("OwnBook value True");
    EXPECT_EQ(ownBook, 1);
    setOption("OwnBook value false");
    EXPECT_EQ(ownBook, 0);
    setOption("OwnBook value true");
    EXPECT_EQ(ownBook, 1);
    setOption("NalimovPath value c:\\");  // unchanged path: nothing at all
    std::string longPath = "NalimovPath value " + std::string(300, 'p');
    setOption(longPath.c_str());
    EXPECT_STREQ(tablebasePath, "c:\\");
    setOption("Unknown value 3");
    EXPECT_EQ(lines(testing::internal::GetCapturedStdout()),
              (std::vector<std::string>{"info string Cpu 100 %", "info string Cpu 50 %"}));
    EXPECT_EQ(searchEngine.drawScore, -25);
    EXPECT_EQ(searchEngine.nullMoveReduction, 2);
    EXPECT_EQ(multiPVSetting, 4);

    // Confirmations in debug mode are checked end to end.
    setOption("NalimovCache value 8");
    setOption("NalimovPath value /tmp/tb");
    EXPECT_STREQ(tablebasePath, "/tmp/tb");
    EXPECT_EQ(cacheMegabytes, 8);
    EXPECT_EQ(searchEngine.tablebaseMaxMen, 0);
    setOption("NalimovPath value c:\\");
    setOption("NalimovCache value 4");
    setOption("MultiPV value 1");
    testing::internal::CaptureStdout();
    setOption("% CPU value 100");
    testing::internal::GetCapturedStdout();
}

TEST(Throttle, HeartbeatRunsOnlyBetweenStartAndStop) {
    initThrottle();
    throttleStop();
    sleepMs(100);
    pollRequest = 0;
    sleepMs(40);
    EXPECT_EQ(pollRequest.load(), 0);
    throttleStart();
    for (int i = 0; i < 200 && pollRequest.load() == 0; i++) sleepMs(5);
    EXPECT_EQ(pollRequest.load(), 1);
    throttleStop();
    throttleStart();  // the latest signal wins: still ticking
    sleepMs(30);
    pollRequest = 0;
    for (int i = 0; i < 200 && pollRequest.load() == 0; i++) sleepMs(5);
    EXPECT_EQ(pollRequest.load(), 1);
    throttleStop();
    shutdownThrottle();
    shutdownThrottle();  // harmless twice
}

TEST(Throttle, ShareAndLoad) {
    setThrottleShare(100);
    EXPECT_EQ(throttleAllows(), 1);
    throttleStart();
    // Busy for a while: close to one full processor, in per mille.
    uint32_t until = tickCount() + 40;
    volatile uint64_t sink = 0;
    while (int32_t(tickCount() - until) < 0) sink = sink + 1;
    uint32_t load = cpuLoadSinceStart();
    EXPECT_GT(load, 100u);
    EXPECT_LE(load, 1100u);
    setThrottleShare(10);
    EXPECT_EQ(throttleAllows(), 0);  // far above 10 %
    sleepMs(600);
    EXPECT_EQ(throttleAllows(), 1);  // the average has fallen below 100 per mille
    EXPECT_LT(cpuLoadSinceLast(), 200u);
    setThrottleShare(100);
    throttleStop();
}

}  // namespace
