// The search: driver rules, node results and their table entries under the
// three tie rules, game repetitions, mates found and scored through the
// table, the PV walk, MultiPV, the ordering tables' lifetime and the
// moveBuffer bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "board/board.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "frontend/poll.h"
#include "frontend/engine_state.h"
#include "frontend/game_record.h"
#include "frontend/options.h"
#include "frontend/report.h"
#include "frontend/threads.h"
#include "platform/platform.h"
#include "search/alphabeta.h"
#include "search/root.h"
#include "search/search.h"
#include "search/tt.h"
#include "test_board.h"

namespace {

constexpr const char* MateIn1 = "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1";  // Ra8#
constexpr const char* MateIn2 = "k7/8/2K5/8/8/8/8/7R w - - 0 1";
constexpr const char* Mated = "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1";
constexpr const char* Stalemate = "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1";
constexpr const char* Italian = "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";
constexpr int GoMate1 = (14999 - 1) * 2, GoMate2 = (14999 - 2) * 2;  // the mate targets of "go mate N"

Move mv(const char* text) { return parseMoveText(text); }

// The engine's own worker, answering to the front end as in a game: the
// depth limit and the reports go through it.
class SearchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { initSearchEngine(); }
    void SetUp() override {
        ASSERT_EQ(ttResize(1024), 1024);
        searchEngine.drawScore = searchEngine.tablebaseMaxMen = 0;
        searchEngine.nullMoveReduction = 3;
        ev.iterationDepthLimit = 64;
        stopFlag = ponderFlag = infiniteFlag = testMode = 0;
        fixedLimits = 1;
        bestMove = ponderMove = worker.lastPvMove = worker.lastPvReply = 0;
        rootScore = rootBound = referenceScore = currentDepth = gameRecord.ply = 0;
    }
    void TearDown() override {
        multiPVTable.count = searchEngine.drawScore = 0;
        ev.iterationDepthLimit = 64;
        searchEngine.nullMoveReduction = 3;
        pos.gameKeyList = pos.gameKeyListEnd = nullptr;
    }

    SearchWorker& worker = engineWorker();
    Position& pos = worker.pos;
    Evaluator& ev = worker.eval;

    // Loads a FEN as the go cycle does; returns the side to move.
    int load(const char* fen) {
        PositionRecord r{};
        EXPECT_TRUE(parseFen(fen, r)) << fen;
        loadPosition(r, pos);
        return searchEngine.sideToMove;
    }

    // A fixed-depth think (0: none) of the loaded position, lines swallowed.
    // keys: the game since the last irreversible move, the root's key last.
    void runThink(int depth, int mateTarget = 0, int lines = 0, std::vector<uint64_t> keys = {}) {
        depthLimit = depth;
        searchStart = tickCount();
        lineShown = lastLineTime = 0;
        multiPVTable.count = lines;
        clearMultiPVSlots();
        if (keys.empty()) keys.push_back(pos.computeHashKey(searchEngine.sideToMove));
        testing::internal::CaptureStdout();
        worker.think(keys.data(), mateTarget, lines);
        testing::internal::GetCapturedStdout();
    }

    int node(int side, int ply, int horizon, MoveEntry parent, int bound, int tieSide) {
        return worker.alphaBeta({side, ply, horizon, worker.moveBuffer, &parent, bound, 0, 0, tieSide, 0});
    }

    bool probe(int bound, int ply, int horizon, int& score) {
        Move m = 0;
        return ttProbe(pos.hashKey, bound, ply, horizon, score, m);
    }
};

TEST_F(SearchTest, EarlyStopCandidateAndMateLimits) {
    // Scores in list order -> index of the candidate (-1 none).
    const std::pair<std::vector<int>, int> candidates[] = {
        {{500, 250}, 0}, {{500, 301}, -1}, {{300, 500}, -1}, {{500, 300}, 0}, {{100, 400, 350}, -1}, {{}, -1}};
    for (const auto& [scores, index] : candidates) {
        std::vector<MoveEntry> list;
        for (size_t i = 0; i < scores.size(); ++i)
            list.push_back({scores[i], makeMoveCode(Square(i), 20) | CaptureFlag});
        EXPECT_EQ(earlyStopCandidate(list.data(), int(list.size())), index < 0 ? 0 : makeMoveCode(index, 20));
    }
    // Mate in N: the limit 2N - 1; no mate target or an impossible one: none.
    for (auto [n, limit] : {std::pair{1, 1}, {2, 3}, {10, 19}}) EXPECT_EQ(mateSearchLimit((14999 - n) * 2), limit);
    EXPECT_EQ(mateSearchLimit(0), 64);
    EXPECT_EQ(mateSearchLimit(28000), 64);
}

TEST_F(SearchTest, LegalRootMovesTellMateFromStalemate) {
    const std::tuple<const char*, int, bool> cases[] = {{Mated, 0, true}, {Stalemate, 0, false}, {StartFen, 20, false},
        {MateIn1, 17, false}, {"4k3/8/8/8/8/8/8/4RK2 w - - 0 1", 0, false}};  // the last: Black in check
    for (auto [fen, count, inCheck] : cases) {
        load(fen);
        Move out[MaxGeneratedMoves + 1];
        std::memset(out, 0xFF, sizeof out);
        uint32_t check = 0;
        EXPECT_EQ(worker.legalRootMoves(out, check), count) << fen;
        EXPECT_EQ(out[count], 0u) << fen;
        EXPECT_EQ(check != 0, inCheck) << fen;
    }
}

TEST_F(SearchTest, NullMoveConditions) {
    for (const DataRow& r : dataRows("null_move.txt")) {
        load(r[0].c_str());
        searchEngine.nullMoveReduction = int(num(r[3]));
        ev.iterationDepthLimit = int(num(r[4]));
        const MoveEntry parent{0, r[5] == "none" ? 0 : 0x123 | (r[5] == "check" ? CheckFlag : 0)};
        EXPECT_EQ(worker.nullMoveAllowed(White, int(num(r[1])), 4, &parent, 100, int(num(r[2]))), num(r[6]) != 0)
            << r[0] << " ply " << r[1];
    }
    EXPECT_EQ(nullMoveHorizon(7, 5, 3), 5);  // two plies left: the child starts in quiescence
    EXPECT_EQ(nullMoveHorizon(7, 3, 3), 5);  // on the boundary h - R = ply + 1 too
    EXPECT_EQ(nullMoveHorizon(10, 2, 3), 7);
    EXPECT_EQ(nullMoveHorizon(6, 2, 1), 5);
}

// No legal move: mate by ply, or the draw value by ply parity; stored.
TEST_F(SearchTest, MateAndStalemateAtANode) {
    const std::tuple<const char*, int, int, int> cases[] = {
        {Mated, 3, 0, 3 - MateBase}, {Mated, 6, 40, 6 - MateBase}, {Stalemate, 2, 25, 25}, {Stalemate, 3, 25, -25}};
    for (auto [fen, ply, drawScore, expected] : cases) {
        const int side = load(fen);
        searchEngine.drawScore = drawScore;  // read by the search's preparation
        worker.prepareSearch(side);
        ttClear();
        const MoveEntry parent{0, mv("f6g7") | (fen == Mated ? CheckFlag : 0)};
        EXPECT_EQ(node(side, ply, ply + 2, parent, expected, NoTieSide), expected) << fen << ply;
        int stored = 0;
        EXPECT_TRUE(probe(0, ply, ply + 2, stored) && stored == expected) << fen << ply;
    }
}

// Ra8# is worth 29997 at ply 1. Tested against exactly that value, the tie
// side decides what the entry says: at least (the side to move wins ties),
// at most (the opponent does) or exactly.
TEST_F(SearchTest, TieRulesClassifyTheStoredResult) {
    constexpr int Value = MateBase - 2;
    const std::tuple<int, int, int, bool> cases[] = {  // tie side, probe bound that hits, that misses, proven
        {White, Value - 1, Value, true}, {Black, Value + 1, Value, false}, {NoTieSide, Value, 0, true}};
    for (auto [tieSide, hit, miss, proven] : cases) {
        load(MateIn1);
        worker.prepareSearch(White);
        ttClear();
        EXPECT_EQ(node(White, 1, 2, MoveEntry{0, 0}, Value, tieSide), Value) << tieSide;
        int s = 0;
        EXPECT_TRUE(probe(hit, 1, 2, s) && s == Value) << tieSide;
        EXPECT_EQ(probe(miss, 1, 2, s), tieSide == NoTieSide) << tieSide;
        EXPECT_EQ(ttBestMove(pos.hashKey), mv("a1a8")) << tieSide;
        // Only a win stored as exact or lower bound holds at any depth.
        EXPECT_EQ(probe(hit, 1, 40, s), proven) << tieSide;
    }
}

TEST_F(SearchTest, MatesAreFoundAndScoredByDistance) {
    const std::tuple<const char*, int, int, int> cases[] = {  // depth, mate target, score
        {MateIn1, 3, 0, MateBase - 1}, {MateIn2, 4, 0, MateBase - 3},
        {MateIn1, 0, GoMate1, MateBase - 1}, {MateIn2, 0, GoMate2, MateBase - 3},
        {MateIn2, 0, GoMate1, 0}, {MateIn2, 1, 0, 0}};  // 0: no mate
    for (auto [fen, depth, target, score] : cases) {
        load(fen);
        ttClear();
        runThink(depth, target);
        if (score == 0) {  // not seen at depth 1 nor by "go mate 1"
            EXPECT_LT(rootScore, MateThreshold);
            continue;
        }
        EXPECT_EQ(rootScore, score) << fen;
        EXPECT_EQ(rootBound, 0) << fen;
        EXPECT_EQ(bestMove == mv("a1a8"), fen == MateIn1) << fen;
        EXPECT_LE(currentDepth, MateBase - score) << fen;  // no iteration past the mate
    }
    // A depth-1 search reaches the mate in 2 only through the entries the
    // deeper search before it left in the table (mate scores adjusted by ply).
    load(MateIn2);
    runThink(4);
    const Move first = bestMove;
    load(MateIn2);
    runThink(1);
    EXPECT_EQ(rootScore, MateBase - 3);
    EXPECT_EQ(bestMove, first);
}

// A stop before the first root move is finished leaves no best move; the
// driver then answers with the first move of the root list, which must be legal.
TEST_F(SearchTest, StoppedAtOnceStillHasALegalRootMove) {
    for (const char* fen : {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1", "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1"}) {
        load(fen);
        Move legal[MaxGeneratedMoves + 1];
        uint32_t inCheck = 0;
        const int n = worker.legalRootMoves(legal, inCheck);
        load(fen);
        bestMove = 0;
        stopFlag = 1;
        runThink(8);
        stopFlag = 0;
        EXPECT_EQ(bestMove, 0) << fen;
        const Move first = worker.firstRootMove();
        EXPECT_EQ(first != 0, n > 0) << fen;
        if (n > 0) {
            EXPECT_NE(std::find(legal, legal + n, first), legal + n) << fen;
        }
    }
}

TEST_F(SearchTest, RepetitionOfAGamePositionIsADraw) {
    constexpr const char* Fen = "k7/8/8/8/8/8/q7/6NK w - - 0 1";  // White is a queen down
    load("k7/8/8/8/8/5N2/q7/7K b - - 0 1");
    const uint64_t afterNf3 = pos.computeHashKey(Black);
    load(Fen);
    const uint64_t root = pos.computeHashKey(White);
    for (auto [drawScore, repeats] : {std::pair{0, true}, {30, true}, {-30, true}, {0, false}}) {
        load(Fen);
        pos.fiftyCount = 1;
        ttClear();
        searchEngine.drawScore = drawScore;
        runThink(3, 0, 0, {repeats ? afterNf3 : 0x1234567ULL, root});
        EXPECT_TRUE(repeats ? bestMove == mv("g1f3") && rootScore == drawScore : rootScore < -500)
            << drawScore << " " << repeats << " " << rootScore;
    }
}

TEST_F(SearchTest, PvWalkFollowsGeneratedTableMovesUpTo32) {
    load(StartFen);
    worker.prepareSearch(White);
    ttClear();
    const char* cycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};  // the table holds a cycle of four
    MoveEntry entries[4];
    for (int p = 0; p < 4; ++p) {
        entries[p] = {0, mv(cycle[p])};
        pos.makeMove(p & 1, p, &entries[p]);
        ttStore(pos.hashKey, 0, p + 1, p + 2, 0, mv(cycle[(p + 1) % 4]));
    }
    for (int p = 3; p >= 0; --p) pos.unmakeMove(p);
    MoveEntry root{0, mv("g1f3")};
    pos.makeMove(White, 0, &root);
    const uint64_t afterRoot = pos.hashKey;
    Move pv[PvSlots];
    EXPECT_EQ(worker.collectPv(pv, worker.moveBuffer + 64, White, root.move), PvMoveLimit);
    for (int p = 0; p < PvMoveLimit; ++p) EXPECT_EQ(pv[p], mv(cycle[p % 4])) << p;
    EXPECT_EQ(pv[PvMoveLimit], 0u);
    EXPECT_EQ(pos.hashKey, afterRoot);  // all but the root move taken back
    ttStore(pos.hashKey, 0, 1, 2, 0, mv("e2e4"));  // a move the generator does not produce ends the line
    EXPECT_EQ(worker.collectPv(pv, worker.moveBuffer + 64, White, root.move), 1);
    pos.unmakeMove(0);
}

TEST_F(SearchTest, MultiPvKeepsTheBestLinesInOrder) {
    load(MateIn1);
    ttClear();
    runThink(3, 0, 3);
    const MultiPVLine* s = multiPVTable.slots;
    EXPECT_TRUE(s[0].pv[0] == mv("a1a8") && bestMove == mv("a1a8") && s[0].score == MateBase - 1);
    EXPECT_TRUE(s[1].depth > 0 && s[2].depth > 0 && s[0].score >= s[1].score && s[1].score >= s[2].score);
    EXPECT_EQ(std::set<Move>({s[0].pv[0], s[1].pv[0], s[2].pv[0]}).size(), 3u);
    load(StartFen);  // "go mate 1" with three lines: one iteration, no endless search
    runThink(0, GoMate1, 3);
    EXPECT_EQ(currentDepth, 1);
    load("7k/8/8/8/8/8/8/K7 w - - 0 1");  // more lines than moves: all three are top lines
    runThink(2, 0, 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(s[i].depth > 0, i < 3) << i;
}

// A node without room for a full list in moveBuffer is a leaf; deeper lines
// fill the buffer but never overflow it (the sanitizer build checks writes).
TEST_F(SearchTest, MoveBufferBound) {
    load("1q2q2k/8/2q3q1/8/8/1Q3Q2/8/K2Q2Q1 w - - 0 1");  // lists of about 90
    worker.prepareSearch(White);
    ttClear();
    MoveEntry parent{0, 0};
    int status = 0;
    const int e = ev.evaluate(White, 0, 4, 1, &parent, status);
    MoveEntry* full = worker.moveBuffer + MoveBufferSize - MaxGeneratedMoves + 1;
    EXPECT_EQ(worker.alphaBeta({White, 1, 4, full, &parent, 0, 0, 0, NoTieSide, 0}), e);
    EXPECT_EQ(worker.moveBufferPeak, 0);
    searchEngine.nullMoveReduction = 0;  // every node generates
    worker.alphaBeta(
        {White, 1, 4, worker.moveBuffer + MoveBufferSize - MaxGeneratedMoves - 150, &parent, 0, 8, 0, NoTieSide, 0});
    EXPECT_GT(worker.moveBufferPeak, MoveBufferSize - MaxGeneratedMoves);
    EXPECT_LE(worker.moveBufferPeak, MoveBufferSize);
}

// A stop in the middle of a line unwinds it: the worker is left with the
// root position, not with the moves of the line it was in.
TEST_F(SearchTest, StopMidTreeLeavesTheRootPosition) {
    struct StopAtFirstPoll : SearchHost {
        // The third root move's subtree polls at once, and the poll stops.
        bool rootMoveStart(Move, int index) override {
            if (index == 2) pollRequest.store(1);
            return false;
        }
        bool pollInput(uint64_t) override { return true; }
    } host;
    auto own = std::make_unique<SearchWorker>();
    own->host = &host;
    PositionRecord r{};
    ASSERT_TRUE(parseFen(Italian, r));
    loadPosition(r, own->pos);
    const uint64_t keys[] = {own->pos.computeHashKey(searchEngine.sideToMove)};
    SquareState board[64];
    std::memcpy(board, own->pos.board, sizeof board);

    own->think(keys, 0, 0);
    EXPECT_EQ(stopFlag, 1);
    EXPECT_EQ(std::memcmp(board, own->pos.board, sizeof board), 0);
    EXPECT_EQ(own->pos.hashKey, keys[0]);
    EXPECT_TRUE(own->pos.boardStateConsistent());
}

// A table move from another position (a key collision, or a slot another
// thread was writing) is only ever a hint: the search neither plays it nor
// leaves the board, even for moves no generator makes, such as a king
// "castling" off the board's edge.
TEST_F(SearchTest, ForeignTableMovesAreNeverPlayed) {
    // Moves the side to move at ply 1 could not make there, the first two
    // "castling" to a rook square off the board; stored so shallow that they
    // never cut, so every probe hands them out. One per child, in turn.
    const Move forWhite[] = {makeMoveCode(2, 0), makeMoveCode(3, 1), makeMoveCode(4, 6), makeMoveCode(0, 56, Queen),
                             makeMoveCode(7, 7), makeMoveCode(2, 3, 7)};
    const Move forBlack[] = {makeMoveCode(61, 63), makeMoveCode(60, 62), makeMoveCode(0, 8), makeMoveCode(61, 61, 5)};
    for (const char* fen : {"5k2/8/8/8/8/8/8/R1K4R w - - 0 1", "5k2/8/8/8/8/8/8/R1K4R b - - 0 1"}) {
        const int side = load(fen);
        Move legal[MaxGeneratedMoves + 1];
        uint32_t inCheck = 0;
        const int n = worker.legalRootMoves(legal, inCheck);
        load(fen);
        const uint64_t root = pos.computeHashKey(side);
        for (int i = 0; i < n; ++i) {
            const Move m = side == White ? forBlack[i % 4] : forWhite[i % 6];
            ttStore(pos.keyAfterMove(side, legal[i]), 0, 1, -30, 0, m);
        }
        runThink(5);
        EXPECT_NE(std::find(legal, legal + n, bestMove), legal + n) << fen << std::hex << bestMove;
        EXPECT_EQ(pos.hashKey, root) << fen;
        EXPECT_TRUE(pos.boardStateConsistent()) << fen;
    }
}

// Helpers search the root of the main worker until the stop; their nodes are
// counted, and the options that rebuild what they share wait for them.
TEST_F(SearchTest, HelpersRunUntilStoppedAndOptionsWaitForThem) {
    ASSERT_TRUE(setSearchThreads(3));
    load(Italian);
    runThink(6);  // the engine's host starts the helpers at the first iteration
    EXPECT_TRUE(helpersRunning());
    stopHelpers();
    EXPECT_FALSE(helpersRunning());
    EXPECT_GT(helperNodes(), 0u);
    stopFlag = 0;

    load(Italian);
    worker.prepareSearch(searchEngine.sideToMove);
    startHelpers(worker, nullptr, 0);
    const uint32_t buckets = transpositionTable.mask + 1;
    testing::internal::CaptureStdout();
    debugFlag = 1;
    for (const char* text : {"Hash value 2", "Threads value 2", "Clear Hash", "NalimovPath value /nonexistent"})
        setOption(text);
    debugFlag = 0;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(transpositionTable.mask + 1, buckets);
    EXPECT_EQ(searchThreadCount(), 3);
    sleepMs(20);
    EXPECT_TRUE(helpersRunning());  // no limit of their own
    stopHelpers();
    testing::internal::CaptureStdout();
    applyDeferredOptions();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(transpositionTable.mask + 1, 65536u);
    EXPECT_EQ(searchThreadCount(), 2);
    EXPECT_STREQ(tablebasePath, "/nonexistent");
    setOption("Threads value 1");
    setOption("NalimovPath value c:\\");
    stopFlag = 0;
}

}  // namespace
