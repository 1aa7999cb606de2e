#include "eval/pawns.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "board/board.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "test_board.h"

namespace {

constexpr int Miss = 32000;  // probe result when the structure is not cached

class PawnsTest : public BoardFixture {
protected:

    int structure(const char* fen, int phase, int side) {
        EXPECT_GE(setupPosition(pos, fen), 0) << fen;
        ev.gamePhase = phase;
        return ev.evaluatePawnStructure(side);
    }
};

TEST_F(PawnsTest, SinglePawnTerms) {
    // Position, white pawn, its middlegame and endgame terms, and whether it marks its file weak and passed.
    for (const DataRow& r : dataRows("pawn_terms.txt")) {
        ASSERT_GE(setupPosition(pos, r[0].c_str()), 0);
        ASSERT_EQ(ev.pawnHashProbe(0, White), Miss);  // clears the working fields
        const int file = fileOf(sq(r[1].c_str()));
        ev.evaluateWhitePawn(sq(r[1].c_str()));
        EXPECT_EQ(std::make_tuple(ev.pawnHash.pawnScore, ev.pawnHash.pawnEndgameScore, ev.pawnHash.weakFiles[White],
                                  ev.pawnHash.passedFiles[White]),
                  std::make_tuple(num(r[2]), num(r[3]), num(r[4]) << file, num(r[5]) << file))
            << r[0] << " " << r[1];
    }
    // The pawn that scores nothing still leaves its attack span (d5-d8, f5-f8).
    setupPosition(pos, "4k3/8/8/3p4/4P3/4P3/8/4K3 w - -");
    ev.pawnHashProbe(0, White);
    ev.evaluateWhitePawn(sq("e4"));
    EXPECT_EQ(ev.pawnHash.attackSpan[White], 0x2828282800000000u);
}

TEST_F(PawnsTest, PawnAttackQueriesDoNotWrap) {
    setupPosition(pos, "4k3/8/8/p7/4P2P/8/8/4K3 w - -");
    EXPECT_TRUE(ev.attackedByWhitePawn(sq("g5")));
    EXPECT_FALSE(ev.attackedByWhitePawn(sq("a6")));  // h4 does not reach round the edge
    EXPECT_TRUE(ev.attackedByBlackPawn(sq("b4")));
    EXPECT_FALSE(ev.attackedByBlackPawn(sq("h3")));
}

TEST_F(PawnsTest, StructureScoreWeighsTheEndgamePartByPhase) {
    // d5 passed (40) and e6 protected passed (64 + 32): 136 endgame points, weighted (phase + 6) / 16.
    EXPECT_EQ(structure("4k3/8/4P3/3P4/8/8/8/4K3 w - -", 0, White), 51);
    ev.gamePhase = 10;  // served from the cache
    EXPECT_EQ(ev.pawnHashProbe(10, White), 136);
    EXPECT_EQ(ev.evaluatePawnStructure(Black), -136);
}

TEST_F(PawnsTest, CollidingStructuresNeverShareAnEntry) {
    // Two structures whose keys share a slot (found by search over one pawn a side).
    const char* a = "4k3/8/8/8/8/7p/P7/4K3 w - -";
    const char* b = "4k3/8/8/8/8/5p2/4P3/4K3 w - -";
    setupPosition(pos, a);
    const uint32_t slot = pos.pawnHashKey & (PawnHashEntries - 1);
    const int scoreA = ev.evaluatePawnStructure(White);
    setupPosition(pos, b);
    ASSERT_EQ(pos.pawnHashKey & (PawnHashEntries - 1), slot);
    EXPECT_NE(ev.evaluatePawnStructure(White), scoreA);  // B now holds the shared slot
    setupPosition(pos, a);
    EXPECT_EQ(ev.pawnHashProbe(0, White), Miss);
    EXPECT_EQ(ev.evaluatePawnStructure(White), scoreA);
    EXPECT_EQ(ev.pawnHashProbe(0, White), scoreA);  // A replaced B
}

TEST_F(PawnsTest, SquareRule) {
    // White a5 needs three moves to a8.
    EXPECT_FALSE(isUnstoppable(sq("a5"), sq("e8"), true, White));
    EXPECT_TRUE(isUnstoppable(sq("a5"), sq("f8"), true, White));
    EXPECT_TRUE(isUnstoppable(sq("a5"), sq("e8"), false, White));
    EXPECT_FALSE(isUnstoppable(sq("a5"), sq("d8"), false, White));
    // From its first rank the double step saves a move; a king beside the pawn and to move catches it.
    EXPECT_TRUE(isUnstoppable(sq("a2"), sq("h6"), true, White));
    EXPECT_FALSE(isUnstoppable(sq("a2"), sq("g6"), true, White));
    EXPECT_FALSE(isUnstoppable(sq("a2"), sq("b1"), true, White));
    // Black pawns run to rank 1, with the double step from rank 7 (the mirror test covers the rest).
    EXPECT_TRUE(isUnstoppable(sq("h7"), sq("a3"), true, Black));
    EXPECT_FALSE(isUnstoppable(sq("h7"), sq("b3"), true, Black));
}

TEST_F(PawnsTest, RaceAndPawnEndingTerms) {
    for (const DataRow& r : dataRows("pawn_race.txt")) {
        structure(r[0].c_str(), int(num(r[1])), White);
        EXPECT_EQ(ev.evaluatePassedPawnRace(White), num(r[2])) << r[0] << " phase " << r[1];
        EXPECT_EQ(ev.evaluatePawnEnding(White), num(r[3])) << r[0];
    }
}

}  // namespace
