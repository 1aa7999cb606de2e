#include "eval/evaluate.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>

#include "board/attacks.h"
#include "board/board.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "eval/pawns.h"
#include "eval/pieces.h"
#include "eval/psq.h"
#include "search/ordering.h"
#include "search/search.h"
#include "test_board.h"

namespace {

// The same position from the other side: ranks reversed, colours, side to
// move, castling rights and the en-passant square exchanged.
std::string mirrored(const std::string& fen) {
    std::istringstream in(fen);
    std::string board, side, castling = "-", ep = "-", rank, out;
    in >> board >> side >> castling >> ep;
    for (char& c : board) c = std::islower(c) ? char(std::toupper(c)) : char(std::tolower(c));
    for (std::istringstream ranks(board); std::getline(ranks, rank, '/');) out = out.empty() ? rank : rank + "/" + out;
    for (char& c : castling) c = std::islower(c) ? char(std::toupper(c)) : char(std::tolower(c));
    if (ep.size() == 2) ep[1] = char('1' + '8' - ep[1]);
    return out + (side == "b" ? " w " : " b ") + castling + " " + ep;
}

class EvaluateTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        initPawnHash();
        initTables();
    }
    void SetUp() override {
        std::memcpy(savedPsq_, psqTable, sizeof psqTable);
        searchEngine.drawScore = 0;
        searchEngine.tablebaseMaxMen = 0;
        iterationDepthLimit = 64;
        clearOrderingTables();
    }
    void TearDown() override {
        std::memcpy(psqTable, savedPsq_, sizeof psqTable);
        searchEngine.drawScore = 0;
        iterationDepthLimit = 64;
    }

    // The position as a search root: lists, pawn sets, tables and sums.
    int load(const std::string& fen) {
        const int side = setupPosition(fen.c_str());
        EXPECT_GE(side, 0) << fen;
        prepareRootPosition(side);
        return side;
    }
    // evaluate after the given move; at ply 0 the piece terms are always computed.
    int eval(int side, int& status, int ply = 0, MoveWord last = 0, int bound = 0, int horizon = 1) {
        entry_ = MoveEntry{0, last};
        return evaluate(side, bound, horizon, ply, &entry_, status);
    }
    int evalFen(const std::string& fen, int& status, int ply = 0) { return eval(load(fen), status, ply); }
    EvalBreakdown explain(const std::string& fen, int& score) {
        const int side = load(fen);
        EvalBreakdown why{};
        entry_ = MoveEntry{0, 0};
        int status = 0;
        score = evaluateExplained(side, 0, 1, 0, &entry_, status, why);
        return why;
    }
    static int row(int colour, int piece, const char* square) { return psqTable[colour * 8 + piece][sq(square)]; }

    MoveEntry entry_{};
    int savedPsq_[16][64];
};

// ---------------------------------------------------------------- symmetry

TEST_F(EvaluateTest, ColourMirroredTwinsScoreAlike) {
    const char* positions[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3",
        "rnbqkb1r/pp2pppp/3p1n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQk - 2 5",
        // Castled on opposite wings: pawn-storm mode in the tables. Kings on
        // b1/b8: a king on c1/c8 or f1/f8 scores unlike its mirror (the king
        // tables are read at 63 - s for Black, see PreparedTableEntries).
        "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/1K1R1B1R b - - 4 9",
        "1k1r3r/ppp2ppp/2n5/1P1q4/8/2N5/P1P2PPP/R2Q1RK1 w - - 0 15",
        "r2q1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PN1PN2/PB2BPPP/R2Q1RK1 w - - 2 10",
        "3r1rk1/p4ppp/1qp1pn2/8/2P5/1P3Q2/P4PPP/2R2RK1 w - - 0 20",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1",
        // Endings: passed pawns, races, minor pieces, rooks.
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "8/5pk1/6p1/3B3p/7P/4b1P1/5PK1/8 w - - 0 40",
        "8/8/4k3/3n4/8/2B5/1P3K2/8 w - - 0 50",
        "4r1k1/5ppp/8/8/8/8/2N2PPP/3R2K1 w - - 0 30",
        "8/1p3k2/p1p5/P1P5/1P2K3/8/8/8 b - - 0 45",
        "8/8/1P6/8/6k1/8/5p2/K7 w - - 0 1",
        "8/p7/8/8/8/8/6PK/k7 b - - 0 1",
        "8/8/8/4k3/8/8/4KP2/8 w - - 0 60",
        "8/6k1/8/8/3K4/8/5R2/8 b - - 0 60",
        "6k1/8/8/3b4/8/8/2B2PPP/6K1 w - - 0 1",
    };
    for (const char* fen : positions) {
        int status = 0, mirrorStatus = 0;
        const int score = evalFen(fen, status);
        const int mirrorScore = evalFen(mirrored(fen), mirrorStatus);
        EXPECT_EQ(score, mirrorScore) << fen << "  vs  " << mirrored(fen);
        EXPECT_EQ(status, mirrorStatus) << fen;
    }
}

// ------------------------------------------------------- piece-square tables

TEST_F(EvaluateTest, PreparedTableEntries) {
    const char* start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    const char* freeD5 = "4k3/8/8/3P4/8/8/8/4K3 w - -";     // phase 10, nothing on the d-file ahead
    const char* coveredD5 = "4k3/4p3/8/3P4/8/8/8/4K3 w - -";  // e7 covers d6, d5 covers e6
    const char* kingsC = "rnkq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNKQ1BNR w - -";  // phase 0
    const char* pawnD4 = "4k3/8/8/8/3P4/8/8/4K3 w - -";
    const struct {
        const char* fen;
        int colour, piece;
        const char* square;
        int expected;
    } rows[] = {
        // Knights: table - distance to both kings + 10 (no tropism at phase 0).
        {start, White, Knight, "b1", 330 + 4 - 3 - 7 + 10},
        {start, Black, Knight, "g8", 330 + 4 - 7 - 2 + 10},
        {start, White, King, "e1", 1200 - 10},
        {start, White, King, "g1", 1200},
        {start, White, Queen, "d4", 1040},  // queens are placed only after the opening
        {start, White, Pawn, "d2", 100},
        {start, White, Pawn, "e4", 120},
        {start, Black, Pawn, "e5", 120},
        {start, White, Bishop, "b2", 358},
        {start, White, Rook, "d7", 532},
        {start, Black, Rook, "d2", 532},
        // A free path adds j * 2 * 2 * P / 10 on the j-th square ahead, a
        // covered one half that; -6 for a pawn without neighbouring files.
        {freeD5, White, Pawn, "d6", 100 + 32 - 6 + 4},
        {freeD5, White, Pawn, "d7", 100 + 32 - 6 + 8},
        {freeD5, White, Pawn, "d8", 100 - 6 + 12},
        {freeD5, White, Pawn, "c6", 100 + 24},
        {coveredD5, White, Pawn, "d6", 100 + 32 - 6 + 2},
        {coveredD5, White, Pawn, "d8", 100 - 6 + 6},
        {coveredD5, Black, Pawn, "e4", 100 + 25 - 6 + 6},
        // Black reads the king tables at 63 - s, which turns the board round:
        // the middlegame table's first rank is not symmetric (c1 -4, f1 0).
        {kingsC, White, King, "c1", 1200 - 4},
        {kingsC, Black, King, "c8", 1200},
        {kingsC, Black, King, "f8", 1200 - 4},
        // Root phase 10: minus the weighted distance to the pawn's target d6.
        {pawnD4, White, King, "a1", 1200 + 0 - 5 * (3 + 5)},
        {pawnD4, Black, King, "d5", 1200 + 50 - 5},
    };
    for (const auto& r : rows) {
        load(r.fen);
        EXPECT_EQ(row(r.colour, r.piece, r.square), r.expected) << r.fen << " " << r.square;
    }
    load(start);
    for (Square s = 0; s < 64; ++s) EXPECT_EQ(psqTable[Black * 8 + Rook][63 - s], psqTable[White * 8 + Rook][s]);
}

TEST_F(EvaluateTest, PawnPathsAndPhases) {
    load("4k3/4p3/8/3P4/8/8/8/4K3 w - -");
    EXPECT_EQ(pawnPathState(sq("d5")), 1);
    EXPECT_EQ(pawnPathState(sq("e7")), 1);
    EXPECT_EQ(pawnPathState(sq("e1")), 0);
    load("4k3/8/8/3p4/3P4/8/8/4K3 w - -");
    EXPECT_EQ(pawnPathState(sq("d4")), 0);  // blocked by a pawn ahead
    load("4k3/6P1/8/8/8/8/8/4K3 w - -");
    EXPECT_EQ(pawnPathState(sq("g7")), 2);
    EXPECT_EQ(kingPawnDistance(sq("g8")), 0);  // the seventh rank aims one square ahead
    EXPECT_EQ(kingPawnDistance(sq("e6")), 5 * 4);

    const int saved = nonPawnMaterial;
    const struct {
        int material, phase, rootPhase;
    } rows[] = {{7000, 0, 0}, {6200, 0, 0}, {6199, 0, 0}, {5716, 1, 0}, {3440, 5, 0},
                {3439, 5, 0}, {3232, 6, 1}, {1360, 10, 10}, {1359, 10, 10}, {0, 10, 10}};
    for (const auto& r : rows) {
        nonPawnMaterial = r.material;
        EXPECT_EQ(computeGamePhase(), r.phase) << r.material;
        EXPECT_EQ(computeRootPhase(), r.rootPhase) << r.material;
    }
    nonPawnMaterial = saved;
}

TEST_F(EvaluateTest, PawnStorm) {
    // Kings g1 and c8 (opposite wings, phase 5) against g1 and g8.
    const char* storm = "2kr3r/ppp2ppp/8/1P4q1/8/8/P1P2PPP/3QR1K1 w - - 0 1";
    const char* calm = "3r2kr/ppp2ppp/8/1P4q1/8/8/P1P2PPP/3QR1K1 w - - 0 1";
    load(calm);
    const int calmB5 = row(White, Pawn, "b5"), calmG7 = row(Black, Pawn, "g7"), calmA5 = row(Black, Pawn, "a5");
    load(storm);
    const int Q = 10 - computeGamePhase();
    ASSERT_EQ(Q, 5);
    EXPECT_EQ(row(White, Pawn, "b5") - calmB5, ((4 - 7) * Q * 6) / 10 - Q);
    EXPECT_EQ(row(Black, Pawn, "g7") - calmG7, -(6 * Q * 6) / 10 - Q);
    EXPECT_EQ(row(Black, Pawn, "a5"), calmA5);  // the black king's own wing
}

TEST_F(EvaluateTest, IncrementalSumsFollowThePreparedTable) {
    const char* positions[] = {
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "2kr3r/ppp2ppp/2n5/1P1q4/8/2N5/P1P2PPP/R2Q1RK1 w - - 0 15",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    };
    static MoveEntry list[512];
    for (const char* fen : positions) {
        const int side = load(fen);
        const int before[2] = {psqScore[White], psqScore[Black]};
        attackCacheValid[0] = 0;
        int n = generateMoves(list, side, 0);
        attackCacheValid[0] = 0;
        n += generateCaptures(list + n, side, 0, 1);
        for (int i = 0; i < n; ++i) {
            makeMove(side, 0, &list[i]);
            const int made[2] = {psqScore[White], psqScore[Black]};
            sumPsqScore();
            EXPECT_TRUE(made[White] == psqScore[White] && made[Black] == psqScore[Black]) << fen << " move " << i;
            unmakeMove(0);
            EXPECT_TRUE(before[White] == psqScore[White] && before[Black] == psqScore[Black]) << fen;
        }
    }
}

// -------------------------------------------------------------- statuses

TEST_F(EvaluateTest, Statuses) {
    searchEngine.drawScore = 25;
    searchEngine.tablebaseMaxMen = 5;  // probed, but no table answers yet
    const int hits = tbHits;
    const char* noFlight = "R6k/6pp/8/8/8/8/8/6K1 b - -";  // g8 covered by the rook
    const char* flight = "R6k/6p1/8/8/8/8/8/6K1 b - -";    // h7 free
    const MoveWord ep = EnPassantFlag | CaptureFlag;
    const struct {
        const char* fen;
        int ply;
        const char* from;  // nullptr: a zeroed last move
        const char* to;
        MoveWord flags;
        int fifty, depthLimit, expected;
    } rows[] = {
        // No mating material (the draw is +25 at even plies, -25 at odd ones).
        {"8/8/4k3/8/8/3BK3/8/8 w - -", 0, nullptr, nullptr, 0, 0, 64, EvalDraw},
        {"8/8/4k3/8/8/3NK3/8/8 b - -", 1, nullptr, nullptr, 0, 0, 64, EvalDraw},
        {"8/8/4k3/8/8/4K3/8/8 w - -", 0, nullptr, nullptr, 0, 0, 64, EvalDraw},
        {"8/8/4kn2/8/8/4K3/8/8 w - -", 1, nullptr, nullptr, 0, 0, 64, EvalDraw},
        {"8/8/4k3/4p3/8/3BK3/8/8 w - -", 0, nullptr, nullptr, 0, 0, 64, EvalNormal},
        // Fifty moves beat even a mate on the board.
        {noFlight, 0, "a1", "a8", CheckFlag, 100, 64, EvalDraw},
        {noFlight, 0, "a1", "a8", CheckFlag, 99, 64, EvalNormal},
        // The line through the vacated square: rook or queen on a file, blocked, a bishop there.
        {"4r1k1/8/8/8/8/3B4/8/4K3 b - -", 1, "e2", "d3", 0, 0, 64, EvalIllegal},
        {"4q1k1/8/8/8/8/3B4/8/4K3 b - -", 1, "e2", "d3", 0, 0, 64, EvalIllegal},
        {"4r1k1/8/8/8/4P3/3B4/8/4K3 b - -", 1, "e2", "d3", 0, 0, 64, EvalNormal},
        {"4b1k1/p7/8/8/8/3B4/P7/4K3 b - -", 1, "e2", "d3", 0, 0, 64, EvalNormal},
        // Diagonals for both kings; a knight off the line; the king's own move.
        {"6k1/8/8/8/7b/7N/8/4K3 b - -", 1, "f2", "h3", 0, 0, 64, EvalIllegal},
        {"5k2/8/8/1n6/8/B7/8/6K1 w - -", 1, "d6", "b5", 0, 0, 64, EvalIllegal},
        {"5k2/4p3/8/1n6/8/B7/8/6K1 w - -", 1, "d6", "b5", 0, 0, 64, EvalNormal},
        {"5k2/p7/8/4n3/8/B7/P7/6K1 w - -", 1, "g6", "e5", 0, 0, 64, EvalNormal},
        {"4r1k1/8/8/8/8/8/8/4K3 b - -", 1, "e2", "e1", 0, 0, 64, EvalNormal},
        // En passant empties e5 too, off the line through d5: tested in full.
        {"1b4k1/8/4P3/8/8/8/7K/8 b - -", 1, "d5", "e6", ep, 0, 64, EvalIllegal},
        {"1b4k1/8/4P3/8/8/8/7K/8 b - -", 1, "d5", "e6", CaptureFlag, 0, 64, EvalNormal},
        // Pawn endings: kings side by side; the side to move attacks the other king.
        {"8/8/8/3kK3/8/8/4P3/8 w - -", 1, nullptr, nullptr, 0, 0, 64, EvalIllegal},
        {"8/8/3k4/4P3/8/8/8/4K3 w - -", 1, nullptr, nullptr, 0, 0, 64, EvalIllegal},
        // Mate search with limit 3: leaves past the limit, or at it without check
        // or with a flight square; no leaf before the limit.
        {noFlight, 3, "a1", "a8", CheckFlag, 0, 3, EvalNormal},
        {flight, 3, "a1", "a8", CheckFlag, 0, 3, EvalLeaf},
        {flight, 2, "a1", "a8", CheckFlag, 0, 3, EvalNormal},
        {noFlight, 4, "a1", "a8", CheckFlag, 0, 3, EvalLeaf},
        {noFlight, 3, nullptr, nullptr, 0, 0, 3, EvalLeaf},
        {noFlight, 2, nullptr, nullptr, 0, 0, 3, EvalNormal},
    };
    for (const auto& r : rows) {
        const int side = load(r.fen);
        fiftyCount = r.fifty;
        iterationDepthLimit = r.depthLimit;
        int status = -1;
        const MoveWord last = r.from ? makeMoveCode(sq(r.from), sq(r.to)) | r.flags : 0;
        const int score = eval(side, status, r.ply, last);
        EXPECT_EQ(status, r.expected) << r.fen << " ply " << r.ply;
        const int want = r.expected == EvalDraw      ? (r.ply % 2 ? -25 : 25)
                         : r.expected == EvalIllegal ? 30000
                         : r.depthLimit != 64        ? psqScore[side] - psqScore[side ^ 1]  // material only
                                                     : score;
        EXPECT_EQ(score, want) << r.fen;
    }
    iterationDepthLimit = 64;

    // A pawn ending finds the check on the side to move itself.
    int status = -1;
    eval(load("8/8/8/8/8/5p2/4K3/1k6 w - -"), status, 1, makeMoveCode(sq("f4"), sq("f3")));
    EXPECT_EQ(status, EvalNormal);
    EXPECT_TRUE(entry_.move & CheckFlag);
    eval(load("8/8/8/8/3P4/8/4K3/1k6 b - -"), status, 1);
    EXPECT_FALSE(entry_.move & CheckFlag);
    EXPECT_EQ(tbHits, hits);
}

// ------------------------------------------------------------------- terms

TEST_F(EvaluateTest, BareKingIsDrivenToTheCorner) {
    for (const auto& [square, centre] : {std::pair{"a1", 0}, {"h8", 0}, {"b7", 12}, {"e4", 36}, {"c5", 30}})
        EXPECT_EQ(bareKingCentre(sq(square)), centre) << square;
    int status = -1;
    const int strong = evalFen("k7/8/8/8/8/8/1Q6/K7 w - -", status);
    EXPECT_EQ(strong, psqScore[White] - psqScore[Black] + 1040 - 4 * 7 - 0);
    EXPECT_EQ(evalFen("k7/8/8/8/8/8/1Q6/K7 b - -", status), -strong);
    EXPECT_LT(evalFen("8/8/8/3k4/8/8/1Q6/K7 w - -", status), strong);  // bare king in the centre
    EXPECT_GT(evalFen("k7/8/1K6/8/8/8/1Q6/8 w - -", status), strong);  // kings closer
    EXPECT_LT(evalFen("8/8/8/3k4/8/8/1Q6/K7 b - -", status), 0);
    // The same drive with two knights.
    EXPECT_GT(evalFen("k7/8/8/8/8/8/1NN5/K7 w - -", status), 1000);
}

TEST_F(EvaluateTest, SingleTermsAndTheirPhases) {
    const struct {
        const char* fen;
        int EvalBreakdown::*term;
        int expected;
    } rows[] = {
        {"2b1k3/pppppppp/8/8/8/8/PPPPPPPP/2B1KB2 w - -", &EvalBreakdown::bishopPair, 20},
        {"2b1k3/pppppppp/8/8/8/8/PPPPPPPP/2B1KB2 b - -", &EvalBreakdown::bishopPair, -20},
        {"2b1kb2/pppppppp/8/8/8/8/PPPPPPPP/2B1KB2 w - -", &EvalBreakdown::bishopPair, 0},
        // An unstoppable a7 pawn: 100 * phase / 10 at phase 2; the race is off at phase 1.
        {"2rqnr1k/P5pp/8/8/8/8/6PP/2RQNR1K w - -", &EvalBreakdown::passedPawnRace, 20},
        {"2rqnrbk/P5pp/8/8/8/8/6PP/2RQNRBK w - -", &EvalBreakdown::passedPawnRace, 0},
        // Shelter at phase 8: (10 - 8) * (6 - -45) / 10; off from phase 9.
        {"rr4k1/8/8/8/8/8/5PPP/RR4K1 w - -", &EvalBreakdown::kingShelter, 10},
        {"rn4k1/8/8/8/8/8/5PPP/RN4K1 w - -", &EvalBreakdown::kingShelter, 0},
    };
    for (const auto& r : rows) {
        int score = 0;
        EXPECT_EQ(explain(r.fen, score).*r.term, r.expected) << r.fen;
    }
}

TEST_F(EvaluateTest, LazyEvaluationMargins) {
    // Ply 5 beyond horizon 3: margin 48; at the horizon 64; inside the
    // full-width part 180; never below 32.
    const char* fen = "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3";
    for (const auto& [horizon, margin] : {std::pair{3, 48}, std::pair{5, 64}, std::pair{6, 180}, std::pair{1, 32}}) {
        const int side = load(fen);
        int status = -1;
        positionalByPly[4] = 777;
        const int estimated = eval(side, status, 5, 0, 30000, horizon);
        EXPECT_EQ(positionalByPly[5], -777);
        const int real = evaluatePieces(side, 5);
        positionalByPly[4] = 777;
        eval(side, status, 5, 0, estimated + margin + 1, horizon);
        EXPECT_EQ(positionalByPly[5], -777) << "bound beyond the margin";
        positionalByPly[4] = 777;
        const int full = eval(side, status, 5, 0, estimated + margin, horizon);
        EXPECT_EQ(positionalByPly[5], real) << "bound on the margin";
        EXPECT_EQ(full, estimated + 777 + real);
        positionalByPly[4] = 777;
        eval(side, status, 5, 0, estimated - margin, horizon);
        EXPECT_EQ(positionalByPly[5], real);
    }
}

TEST_F(EvaluateTest, RookAndMinorAgainstRook) {
    EXPECT_EQ(shiftScoreTowards(300, Black, White, 100), 100);
    EXPECT_EQ(shiftScoreTowards(-300, Black, Black, 100), -100);
    EXPECT_EQ(shiftScoreTowards(80, Black, White, 100), -20);   // not halved below zero
    EXPECT_EQ(shiftScoreTowards(-301, White, White, 50), -125);  // -251 halved
    const struct {
        const char* fen;
        int shift;  // from White's view before halving
    } rows[] = {
        {"4r1k1/8/8/8/8/8/2N5/3R2K1 w - -", -100},
        {"4r1k1/8/8/8/8/8/2B5/3R2K1 w - -", -50},
        {"4r1k1/8/8/8/8/8/2B5/3R2K1 b - -", -50},
        {"4r1k1/4n3/8/8/8/8/8/3R2K1 w - -", 100},
        {"4r1k1/8/8/8/8/8/1PN5/3R2K1 w - -", 0},  // a pawn makes three men
    };
    for (const auto& r : rows) {
        int score = 0;
        const EvalBreakdown why = explain(r.fen, score);
        const int side = std::strstr(r.fen, " w ") ? White : Black;
        const int before = score - why.rookMinorShift;
        const int expected = r.shift == 0 ? before : shiftScoreTowards(before, r.shift < 0 ? Black : White, side,
                                                                       r.shift < 0 ? -r.shift : r.shift);
        EXPECT_EQ(score, expected) << r.fen;
        if (r.shift != 0) {
            EXPECT_NE(why.rookMinorShift, 0) << r.fen;
        }
    }
}

TEST_F(EvaluateTest, OneMinorPieceEach) {
    searchEngine.drawScore = 7;
    const struct {
        const char* fen;
        MinorScaling kind;
        int factor;
        int adjWhite;  // same-colour bishops and bishop against knight
    } rows[] = {
        // Opposite bishops: 10/16 without heavy pieces, 12/16 with a rook each.
        {"6k1/5p2/8/4b3/8/8/2B2PPP/6K1 w - -", MinorScaling::OppositeBishops, 10, 0},
        {"r5k1/5p2/8/4b3/8/8/2B2PPP/R5K1 b - -", MinorScaling::OppositeBishops, 12, 0},
        // Light bishops; pawns on light squares: White f3 h3 (2), Black f7 (1): d = -1.
        {"6k1/5p2/8/3b4/8/5P1P/2B5/6K1 w - -", MinorScaling::SameBishops, 0, 2 * 5 * -1},
        // Bishop against knight, with a rook each: (6 - 1) * d, light squares.
        {"r5k1/5p2/8/2n5/8/5P1P/2B5/R5K1 b - -", MinorScaling::BishopKnight, 0, 5 * -1},
        {"6k1/5p2/8/2n5/8/5P1P/2B5/6K1 w - -", MinorScaling::BishopKnight, 0, 8 * -1},
        {"6k1/5p2/8/2n5/8/5P1P/2N5/6K1 w - -", MinorScaling::None, 0, 0},   // two knights
        {"r5k1/5p2/8/2b5/8/5P1P/2B5/6K1 w - -", MinorScaling::None, 0, 0},  // rook against none
    };
    for (const auto& r : rows) {
        int score = 0;
        const EvalBreakdown why = explain(r.fen, score);
        const int side = std::strstr(r.fen, " w ") ? White : Black;
        EXPECT_EQ(why.minorScaling, r.kind) << r.fen;
        const int after = score - why.recogniserChange;
        const int before = after - why.minorScalingChange;
        if (r.kind == MinorScaling::OppositeBishops) {
            EXPECT_EQ(why.minorFactor, r.factor);
            EXPECT_EQ(after, (r.factor * before) / 16 + 7) << r.fen;
        } else {
            EXPECT_EQ(why.minorScalingChange, side == White ? r.adjWhite : -r.adjWhite) << r.fen;
        }
    }
}

TEST_F(EvaluateTest, EndgameRecognisers) {
    searchEngine.drawScore = 0;
    int status = -1;
    // Light bishop and h-pawns, black king in the corner zone: never above the draw.
    for (const char* fen : {"7k/p7/6KP/8/8/8/8/3B4 w - -", "6k1/p7/7P/7P/6K1/7P/8/3B4 w - -",
                            "8/p6k/7P/8/6K1/8/8/3B4 w - -"}) {
        EXPECT_LE(evalFen(fen, status), -1) << fen;
        EXPECT_EQ(status, EvalNormal);
    }
    EXPECT_GE(evalFen("7k/p7/6KP/8/8/8/8/3B4 b - -", status), 1);
    // Right bishop, another file, or the king away from the corner: a win.
    for (const char* fen : {"7k/p7/6KP/8/8/8/8/2B5 w - -", "7k/p7/6KP/6P1/8/8/8/3B4 w - -",
                            "8/p7/4k1KP/8/8/8/8/3B4 w - -"})
        EXPECT_GT(evalFen(fen, status), 100) << fen;
    // Black's mirror: light bishop, a-pawns, white king on b2.
    EXPECT_LE(evalFen("2b5/8/8/8/p7/8/1K5P/6k1 b - -", status), -1);
    EXPECT_GE(evalFen("2b5/8/8/8/p7/8/1K5P/6k1 w - -", status), 1);
    // Nobody can win: a draw with its status.
    searchEngine.drawScore = 30;
    EXPECT_EQ(evalFen("7k/8/6KP/8/8/8/8/3B4 w - -", status, 1), -30);
    EXPECT_EQ(status, EvalDraw);
    EXPECT_EQ(evalFen("8/8/4k3/4b3/8/2N5/4K3/8 w - -", status), 30);  // one minor each
    EXPECT_EQ(status, EvalDraw);
}

}  // namespace
