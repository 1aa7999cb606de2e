#include "eval/evaluate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>

#include "board/attacks.h"
#include "board/board.h"
#include "board/movegen.h"
#include "board/perft.h"
#include "board/tables.h"
#include "eval/pawns.h"
#include "eval/pieces.h"
#include "eval/psq.h"
#include "search/search.h"
#include "test_board.h"

namespace {

class EvaluateTest : public BoardFixture {
protected:
    // The position as a search root: lists, pawn sets, tables and sums.
    int load(const std::string& fen) {
        const int side = setupPosition(pos, fen.c_str());
        EXPECT_GE(side, 0) << fen;
        prepareRootPosition(pos, side);
        return side;
    }
    // evaluate after the given move; at ply 0 the piece terms are always computed.
    int eval(int side, int& status, int ply = 0, MoveWord last = 0, int bound = 0, int horizon = 1) {
        entry_ = MoveEntry{0, last};
        return ev.evaluate(side, bound, horizon, ply, &entry_, status);
    }
    int evalFen(const std::string& fen, int& status, int ply = 0) { return eval(load(fen), status, ply); }
    EvalBreakdown explain(const std::string& fen, int& score) {
        EvalBreakdown why{};
        int status = 0;
        score = ev.evaluateExplained(load(fen), 0, 1, 0, &(entry_ = MoveEntry{0, 0}), status, why);
        return why;
    }
    int row(int colour, int piece, const char* square) { return pos.psqTable[colour * 8 + piece][sq(square)]; }

    MoveEntry entry_{};
};

// Turns the board round the middle rank: colours, rights, castled flags and
// the en-passant square exchanged; the pawn cache is kept.
void turnBoard(Position& pos) {
    SquareState was[64];
    std::memcpy(was, pos.board, sizeof was);
    const int rights = pos.castleRights, ep = pos.epSquare, castled[2] = {pos.hasCastled[White], pos.hasCastled[Black]};
    pos.clearBoard();
    for (int s = 0; s < 64; ++s)
        if (was[s].colour != NoColour) pos.putMan(s ^ 56, was[s].piece, was[s].colour ^ 1);
    testboard::rebuildDerived(pos);
    pos.castleRights = (rights >> 2) | ((rights & 3) << 2);
    pos.epSquare = ep ? ep ^ 56 : 0;
    pos.hasCastled[White] = castled[Black];
    pos.hasCastled[Black] = castled[White];
}

// The whole evaluation (piece terms, pawn structure, races, pawn endings,
// shelter, scaling) of random boards and of a few chosen ones equals that of
// the turned board with the other side to move; evaluated again, the
// position is served from the pawn and shelter caches and scores the same.
// The king tables are read at 63 - s for Black, so kings stay on squares
// where they are symmetric between the wings (not c1/c8, f1/f8).
TEST_F(EvaluateTest, TurnedBoardScoresAlikeAndCacheHitsAgree) {
    auto wingSymmetric = [](int k) {
        return kingMiddleTable[k] == kingMiddleTable[k ^ 7] && kingEndTable[k] == kingEndTable[k ^ 7] &&
               kingMiddleTable[k ^ 56] == kingMiddleTable[k ^ 63] && kingEndTable[k ^ 56] == kingEndTable[k ^ 63];
    };
    auto rootEval = [&](int side) {
        prepareRootPosition(pos, side);
        int status = -1;
        const int score = eval(side, status);
        return std::pair(score, status);
    };
    const char* chosen[] = {
        "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/1K1R1B1R b - - 4 9",  // castled on opposite wings
        "1k1r3r/ppp2ppp/2n5/1P1q4/8/2N5/P1P2PPP/R2Q1RK1 w - - 0 15",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1",
        "8/5pk1/6p1/3B3p/7P/4b1P1/5PK1/8 w - - 0 40",
    };
    std::mt19937 rng(2024);
    const int kinds[] = {Pawn, Pawn, Pawn, Knight, Bishop, Rook, Queen};
    for (int round = 0; round < 700; ++round) {
        int side = 0;
        if (round < 4) {
            side = setupPosition(pos, chosen[round]);
        } else {
            pos.clearBoard();
            const int wk = int(rng() % 64), bk = int(rng() % 64);
            if (distance[wk][bk] < 2 || !wingSymmetric(wk) || !wingSymmetric(bk)) continue;
            pos.putMan(wk, King, White);
            pos.putMan(bk, King, Black);
            const bool pawnEnding = round % 3 == 0;
            for (int colour : {White, Black})
                for (int n = int(rng() % 12); n > 0; --n) {
                    const int piece = kinds[pawnEnding ? 0 : rng() % 7], s = piece == Pawn ? 8 + int(rng() % 48) : int(rng() % 64);
                    if (pos.isEmpty(s)) pos.putMan(s, piece, colour);
                }
            testboard::rebuildDerived(pos);
            pos.castleRights = int(rng() % 16);
            pos.hasCastled[White] = int(rng() % 2);
            pos.hasCastled[Black] = int(rng() % 2);
            side = int(rng() % 2);
            if (pos.ownKingAttacked(side ^ 1)) continue;  // unreachable, and judged by the last move's square
        }
        SCOPED_TRACE("round " + std::to_string(round));
        const auto original = rootEval(side);
        turnBoard(pos);
        ASSERT_EQ(rootEval(side ^ 1), original);
        turnBoard(pos);
        ASSERT_EQ(rootEval(side), original);
    }
}

// ------------------------------------------------------- piece-square tables

TEST_F(EvaluateTest, PreparedTableEntries) {
    const char* pieces[] = {"", "pawn", "knight", "bishop", "rook", "queen", "king"};
    for (const DataRow& r : dataRows("psq_entries.txt")) {
        load(r[0]);
        const int piece = int(std::find(pieces, pieces + 7, r[2]) - pieces);
        EXPECT_EQ(row(r[1] == "white" ? White : Black, piece, r[3].c_str()), num(r[4])) << r[0] << " " << r[3];
    }
    const char* start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    load(start);
    for (Square s = 0; s < 64; ++s)
        EXPECT_EQ(pos.psqTable[Black * 8 + Rook][63 - s], pos.psqTable[White * 8 + Rook][s]);
    load("4k3/6P1/8/8/8/8/8/4K3 w - -");
    EXPECT_EQ(pawnPathState(pos, sq("g7")), 2);
    EXPECT_EQ(kingPawnDistance(pos, sq("e6")), 5 * 4);  // the seventh rank aims one square ahead
    const int saved = std::exchange(pos.nonPawnMaterial, 3232);
    EXPECT_EQ(computeGamePhase(pos), 6);
    EXPECT_EQ(computeRootPhase(pos), 1);
    pos.nonPawnMaterial = saved;
}

TEST_F(EvaluateTest, PawnStorm) {
    // Kings g1 and c8 (opposite wings, phase 5) against g1 and g8.
    load("3r2kr/ppp2ppp/8/1P4q1/8/8/P1P2PPP/3QR1K1 w - - 0 1");
    const int calmB5 = row(White, Pawn, "b5"), calmG7 = row(Black, Pawn, "g7"), calmA5 = row(Black, Pawn, "a5");
    load("2kr3r/ppp2ppp/8/1P4q1/8/8/P1P2PPP/3QR1K1 w - - 0 1");
    ASSERT_EQ(computeGamePhase(pos), 5);
    EXPECT_EQ(row(White, Pawn, "b5") - calmB5, -14);
    EXPECT_EQ(row(Black, Pawn, "g7") - calmG7, -23);
    EXPECT_EQ(row(Black, Pawn, "a5"), calmA5);  // the black king's own wing
}

// -------------------------------------------------------------- statuses

TEST_F(EvaluateTest, Statuses) {
    ev.drawScore = 25;
    ev.tablebaseMaxMen = 5;  // probed, but no table answers yet
    const int hits = ev.tbHits;
    const std::map<std::string, MoveWord> flags = {
        {"-", 0}, {"check", CheckFlag}, {"capture", CaptureFlag}, {"ep", EnPassantFlag | CaptureFlag}};
    const std::map<std::string, int> statuses = {
        {"normal", EvalNormal}, {"draw", EvalDraw}, {"illegal", EvalIllegal}, {"leaf", EvalLeaf}};
    for (const DataRow& r : dataRows("eval_statuses.txt")) {
        const int side = load(r[0]), ply = int(num(r[1])), expected = statuses.at(r[6]);
        pos.fiftyCount = int(num(r[4]));
        ev.iterationDepthLimit = int(num(r[5]));
        const MoveWord last = r[2] == "-" ? 0 : makeMoveCode(sq(r[2].c_str()), sq(r[2].c_str() + 2)) | flags.at(r[3]);
        int status = -1;
        const int score = eval(side, status, ply, last);
        EXPECT_EQ(status, expected) << r[0] << " ply " << ply;
        const int want = expected == EvalDraw      ? (ply % 2 ? -25 : 25)
                         : expected == EvalIllegal ? 30000
                         : ev.iterationDepthLimit != 64 ? pos.psqScore[side] - pos.psqScore[side ^ 1]  // material only
                                                     : score;
        EXPECT_EQ(score, want) << r[0];
    }
    ev.iterationDepthLimit = 64;
    // A pawn ending finds the check on the side to move itself.
    int status = -1;
    eval(load("8/8/8/8/8/5p2/4K3/1k6 w - -"), status, 1, makeMoveCode(sq("f4"), sq("f3")));
    EXPECT_EQ(status, EvalNormal);
    EXPECT_TRUE(entry_.move & CheckFlag);
    EXPECT_EQ(ev.tbHits, hits);
}

// ------------------------------------------------------------------- terms

TEST_F(EvaluateTest, BareKingIsDrivenToTheCorner) {
    for (const auto& [square, centre] : {std::pair{"a1", 0}, {"h8", 0}, {"b7", 12}, {"e4", 36}, {"c5", 30}})
        EXPECT_EQ(bareKingCentre(sq(square)), centre) << square;
    int status = -1;
    const int strong = evalFen("k7/8/8/8/8/8/1Q6/K7 w - -", status);
    EXPECT_EQ(strong - (pos.psqScore[White] - pos.psqScore[Black]), 1012);  // kings 7 apart, the bare one in the corner
    EXPECT_EQ(evalFen("k7/8/8/8/8/8/1Q6/K7 b - -", status), -strong);
    EXPECT_LT(evalFen("8/8/8/3k4/8/8/1Q6/K7 w - -", status), strong);  // bare king in the centre
    EXPECT_GT(evalFen("k7/8/1K6/8/8/8/1Q6/8 w - -", status), strong);  // kings closer
    EXPECT_GT(evalFen("k7/8/8/8/8/8/1NN5/K7 w - -", status), 1000);    // two knights too
}

TEST_F(EvaluateTest, SingleTermsAndTheirPhases) {
    ev.drawScore = 7;
    const std::map<std::string, int EvalBreakdown::*> terms = {
        {"bishopPair", &EvalBreakdown::bishopPair}, {"passedPawnRace", &EvalBreakdown::passedPawnRace},
        {"kingShelter", &EvalBreakdown::kingShelter}, {"minorFactor", &EvalBreakdown::minorFactor},
        {"minorScalingChange", &EvalBreakdown::minorScalingChange}};
    int score = 0;
    for (const DataRow& r : dataRows("eval_terms.txt")) EXPECT_EQ(explain(r[0], score).*terms.at(r[1]), num(r[2])) << r[0];
    // Opposite bishops scale the score towards the draw score.
    const EvalBreakdown why = explain("6k1/5p2/8/4b3/8/8/2B2PPP/6K1 w - -", score);
    EXPECT_EQ(why.minorScaling, MinorScaling::OppositeBishops);
    const int after = score - why.recogniserChange;
    EXPECT_EQ(after, (10 * (after - why.minorScalingChange)) / 16 + 7);
}

TEST_F(EvaluateTest, LazyEvaluationMargins) {
    // Ply 5 beyond horizon 3: margin 48; at the horizon 64; inside the full-width part 180;
    // never below 32. Piece terms are skipped just beyond the margin and computed on it.
    const char* fen = "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3";
    for (const auto& [horizon, margin] : {std::pair{3, 48}, std::pair{5, 64}, std::pair{6, 180}, std::pair{1, 32}}) {
        const int side = load(fen);
        int status = -1;
        ev.positionalByPly[4] = 777;  // the estimate reuses the parent's piece terms
        const int estimated = eval(side, status, 5, 0, 30000, horizon);
        const int real = ev.evaluatePieces(side, 5);
        ev.positionalByPly[4] = 777;
        eval(side, status, 5, 0, estimated + margin + 1, horizon);
        EXPECT_EQ(ev.positionalByPly[5], -777) << horizon;
        ev.positionalByPly[4] = 777;
        EXPECT_EQ(eval(side, status, 5, 0, estimated + margin, horizon), estimated + 777 + real) << horizon;
        EXPECT_EQ(ev.positionalByPly[5], real) << horizon;
    }
}

// A null move's child reuses its parent's piece terms and attack tables;
// both must be what computing them afresh gives.
TEST_F(EvaluateTest, NullMoveChildReusesTheParentsWork) {
    const int side = load("r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3");
    int status = -1;
    pos.undoStack.move[0] = makeMoveCode(12, 28);  // a real move led here: ply 1 is no null child
    // A bound at the lazy estimate itself forces the full evaluation.
    eval(side, status, 1, pos.undoStack.move[0], eval(side, status, 1, pos.undoStack.move[0], 30000), 1);
    pos.makeNullMove(side, 1);
    eval(side ^ 1, status, 2, 0, eval(side ^ 1, status, 2, 0, 30000), 1);
    EXPECT_EQ(ev.positionalByPly[2], ev.evaluatePieces(side ^ 1, 2));
    pos.attackCacheValid[2] = 0;
    pos.buildAttackTables(2);
    const std::vector<uint32_t> copied(&pos.attackTables[2][0][0], &pos.attackTables[2][0][0] + 128);
    pos.computeAttacks(White, pos.attackTables[2][White]);
    pos.computeAttacks(Black, pos.attackTables[2][Black]);
    EXPECT_EQ(copied, std::vector<uint32_t>(&pos.attackTables[2][0][0], &pos.attackTables[2][0][0] + 128));
    pos.unmakeNullMove(1);
}

TEST_F(EvaluateTest, RookAndMinorAgainstRook) {
    EXPECT_EQ(shiftScoreTowards(300, Black, White, 100), 100);
    EXPECT_EQ(shiftScoreTowards(-300, Black, Black, 100), -100);
    EXPECT_EQ(shiftScoreTowards(80, Black, White, 100), -20);    // not halved below zero
    EXPECT_EQ(shiftScoreTowards(-301, White, White, 50), -125);  // -251 halved
    // Position, shift from White's view (knight 100, bishop 50); a pawn makes three men.
    for (const auto& [fen, shift] : {std::pair{"4r1k1/8/8/8/8/8/2N5/3R2K1 w - -", -100},
                                     {"4r1k1/8/8/8/8/8/2B5/3R2K1 b - -", -50},
                                     {"4r1k1/4n3/8/8/8/8/8/3R2K1 w - -", 100},
                                     {"4r1k1/8/8/8/8/8/1PN5/3R2K1 w - -", 0}}) {
        int score = 0;
        const EvalBreakdown why = explain(fen, score);
        const int side = std::strstr(fen, " w ") ? White : Black, before = score - why.rookMinorShift;
        EXPECT_EQ(score, shift ? shiftScoreTowards(before, shift < 0 ? Black : White, side, std::abs(shift)) : before)
            << fen;
        EXPECT_EQ(why.rookMinorShift != 0, shift != 0) << fen;
    }
}

TEST_F(EvaluateTest, EndgameRecognisers) {
    int status = -1;
    // Light bishop and h-pawns, black king in the corner zone: never above the draw.
    for (const char* fen : {"6k1/p7/7P/7P/6K1/7P/8/3B4 w - -", "8/p6k/7P/8/6K1/8/8/3B4 w - -",
                            "2b5/8/8/8/p7/8/1K5P/6k1 b - -"}) {
        EXPECT_LE(evalFen(fen, status), -1) << fen;
        EXPECT_EQ(status, EvalNormal);
    }
    // Right bishop, another file, or the king away from the corner: a win.
    for (const char* fen : {"7k/p7/6KP/8/8/8/8/2B5 w - -", "7k/p7/6KP/6P1/8/8/8/3B4 w - -",
                            "8/p7/4k1KP/8/8/8/8/3B4 w - -"})
        EXPECT_GT(evalFen(fen, status), 100) << fen;
    // Nobody can win: a draw with its status.
    ev.drawScore = 30;
    EXPECT_EQ(evalFen("7k/8/6KP/8/8/8/8/3B4 w - -", status, 1), -30);
    EXPECT_EQ(status, EvalDraw);
    EXPECT_EQ(evalFen("8/8/4k3/4b3/8/2N5/4K3/8 w - -", status), 30);  // one minor each
    EXPECT_EQ(status, EvalDraw);
}

}  // namespace
