#include "eval/pawns.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <utility>

#include "board/board.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "test_board.h"

namespace {

constexpr int Miss = 32000;  // probe result when the structure is not cached

// The working fields the evaluation leaves behind.
struct Working {
    Bitboard attackSpan[2];
    int passedFiles[2], weakFiles[2], pawnScore, pawnEndgameScore;
    bool operator==(const Working&) const = default;
};

Working working() {
    const PawnHashTable& h = pawnHash;
    return {{h.attackSpan[0], h.attackSpan[1]}, {h.passedFiles[0], h.passedFiles[1]}, {h.weakFiles[0], h.weakFiles[1]},
            h.pawnScore, h.pawnEndgameScore};
}

// What the same fields must be for the colour-mirrored structure (a byte swap reverses the ranks).
Working mirrored(const Working& w) {
    return {{__builtin_bswap64(w.attackSpan[1]), __builtin_bswap64(w.attackSpan[0])},
            {w.passedFiles[1], w.passedFiles[0]}, {w.weakFiles[1], w.weakFiles[0]}, -w.pawnScore, -w.pawnEndgameScore};
}

class PawnsTest : public ::testing::Test {
protected:
    void SetUp() override {
        initTables();
        initPawnHash();
        gamePhase = 0;
    }

    int structure(const char* fen, int phase, int side) {
        EXPECT_GE(setupPosition(fen), 0) << fen;
        gamePhase = phase;
        return evaluatePawnStructure(side);
    }
};

TEST_F(PawnsTest, SinglePawnTerms) {
    // Position, white pawn, its middlegame and endgame terms, and whether it marks its file weak and passed.
    const std::tuple<const char*, const char*, int, int, bool, bool> rows[] = {
        // Isolated: -10 with an enemy pawn ahead on the file, else -20; endgame part by file.
        {"4k3/8/3p4/8/3P4/8/8/4K3 w - -", "d4", -10, -10, true, false},
        {"4k3/8/4p3/8/3P4/8/8/4K3 w - -", "d4", -20, -10, true, false},
        {"4k3/8/8/8/3P4/8/8/4K3 w - -", "d4", -20, -10 + 20, true, true},
        // Doubled: each pays, only the front one is passed (protected bonus 0 on rank 3).
        {"4k3/8/8/8/8/2P5/2PP4/4K3 w - -", "c3", -5, 12, false, true},
        {"4k3/8/8/8/8/2P5/2PP4/4K3 w - -", "c2", -5, 0, false, false},
        // Backward: stop square hit by two enemy pawns, by one, occupied (and rammed), unsupportable.
        {"4k3/8/8/2p1p3/2P5/3P4/8/4K3 w - -", "d3", -25, 0, true, false},
        {"4k3/8/8/2p5/2P5/3P4/8/4K3 w - -", "d3", -20, 0, true, false},
        {"4k3/8/8/8/2Pp4/3P4/8/4K3 w - -", "d3", -20 - 16, 0, true, false},
        {"4k3/4p3/8/2P5/8/3P4/8/4K3 w - -", "d3", -2 - 8, 0, true, false},
        {"4k3/4p3/8/8/2P5/3P4/8/4K3 w - -", "d3", 0, 0, false, false},
        // Protected passed pawn on the sixth rank.
        {"4k3/8/4P3/3P4/8/8/8/4K3 w - -", "e6", 0, 64 + 32, false, true},
        // Attacked by an enemy pawn: no terms at all; its partner behind still pays (file e: -10 endgame).
        {"4k3/8/8/3p4/4P3/4P3/8/4K3 w - -", "e4", 0, 0, false, false},
        {"4k3/8/8/3p4/4P3/4P3/8/4K3 w - -", "e3", -20 - 5, -10, true, false},
        // Rammed: blocked penalty unless a neighbour pawn can come up to attack the blocker.
        {"4k3/8/8/4p3/4P3/8/8/4K3 w - -", "e4", -10 - 12, -10, true, false},
        {"4k3/8/8/4p3/4P3/3P4/8/4K3 w - -", "e4", -12, 0, false, false},  // d4 held by the blocker only
        {"4k3/8/8/4p3/4P3/2PP4/8/4K3 w - -", "e4", 0, 0, false, false},   // c3 covers d4
        {"4k3/8/8/4p3/4P3/5PP1/8/4K3 w - -", "e4", 0, 0, false, false},   // the right-hand walk
    };
    for (const auto& [fen, square, sc, eg, weak, passed] : rows) {
        ASSERT_GE(setupPosition(fen), 0);
        ASSERT_EQ(pawnHashProbe(0, White), Miss);  // clears the working fields
        evaluateWhitePawn(sq(square));
        EXPECT_EQ(std::make_tuple(pawnHash.pawnScore, pawnHash.pawnEndgameScore, pawnHash.weakFiles[White],
                                  pawnHash.passedFiles[White]),
                  std::make_tuple(sc, eg, weak << fileOf(sq(square)), passed << fileOf(sq(square))))
            << fen << " " << square;
    }
    // The pawn that scores nothing still leaves its attack span (d5-d8, f5-f8).
    setupPosition("4k3/8/8/3p4/4P3/4P3/8/4K3 w - -");
    pawnHashProbe(0, White);
    evaluateWhitePawn(sq("e4"));
    EXPECT_EQ(pawnHash.attackSpan[White], 0x2828282800000000u);
}

TEST_F(PawnsTest, PawnAttackQueriesDoNotWrap) {
    setupPosition("4k3/8/8/p7/4P2P/8/8/4K3 w - -");
    EXPECT_TRUE(attackedByWhitePawn(sq("g5")));
    EXPECT_FALSE(attackedByWhitePawn(sq("a6")));  // h4 does not reach round the edge
    EXPECT_TRUE(attackedByBlackPawn(sq("b4")));
    EXPECT_FALSE(attackedByBlackPawn(sq("h3")));
}

TEST_F(PawnsTest, StructureScoreWeighsTheEndgamePartByPhase) {
    // d5 passed (40) and e6 protected passed (64 + 32): 136 endgame points, weighted (phase + 6) / 16.
    EXPECT_EQ(structure("4k3/8/4P3/3P4/8/8/8/4K3 w - -", 0, White), 6 * 136 / 16);
    gamePhase = 10;  // served from the cache
    EXPECT_EQ(pawnHashProbe(10, White), 136);
    EXPECT_EQ(evaluatePawnStructure(Black), -136);
}

TEST_F(PawnsTest, MirroredStructuresAndCacheHitsAgree) {
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> square(0, 63), pawnSquare(8, 55), count(0, 8);
    for (int round = 0; round < 600; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Kings, up to eight pawns a side and sometimes a rook.
        clearBoard();
        const int whiteKing = square(rng);
        putMan(whiteKing, King, White);
        putMan((whiteKing + 2 + int(rng() % 62)) % 64, King, Black);
        for (int colour : {White, Black}) {
            for (int n = count(rng), s = pawnSquare(rng); n > 0; --n, s = pawnSquare(rng))
                if (isEmpty(s)) putMan(s, Pawn, colour);
            if (const int s = square(rng); rng() % 4 == 0 && isEmpty(s)) putMan(s, Rook, colour);
        }
        testboard::rebuildDerived();
        gamePhase = round % 11;
        const int score = evaluatePawnStructure(White);
        const Working fresh = working();
        const int race = evaluatePassedPawnRace(White), ending = evaluatePawnEnding(White);

        // A cache hit restores every working field, whatever they held.
        pawnHash.attackSpan[0] = pawnHash.attackSpan[1] = ~Bitboard(0);
        pawnHash.passedFiles[0] = pawnHash.passedFiles[1] = pawnHash.weakFiles[0] = pawnHash.weakFiles[1] = 0x1FF;
        pawnHash.pawnScore = pawnHash.pawnEndgameScore = 12345;
        ASSERT_EQ(pawnHashProbe(gamePhase, White), score);
        ASSERT_TRUE(working() == fresh);

        // Ranks reversed and colours exchanged: every term goes to the other side.
        SquareState original[64];
        std::memcpy(original, board, sizeof board);
        clearBoard();
        for (int s = 0; s < 64; ++s)
            if (original[s].colour != NoColour) putMan(s ^ 56, original[s].piece, original[s].colour ^ 1);
        testboard::rebuildDerived();  // empties the cache too
        ASSERT_EQ(evaluatePawnStructure(Black), score);
        ASSERT_TRUE(working() == mirrored(fresh));
        ASSERT_EQ(std::make_pair(evaluatePassedPawnRace(Black), evaluatePawnEnding(Black)),
                  std::make_pair(race, ending));
    }
}

TEST_F(PawnsTest, CollidingStructuresNeverShareAnEntry) {
    // Two structures whose keys share a slot (found by search over one pawn a side).
    const char* a = "4k3/8/8/8/8/7p/P7/4K3 w - -";
    const char* b = "4k3/8/8/8/8/5p2/4P3/4K3 w - -";
    setupPosition(a);
    const uint32_t slot = pawnHash.pawnHashKey & (PawnHashEntries - 1);
    const int scoreA = evaluatePawnStructure(White);
    setupPosition(b);
    ASSERT_EQ(pawnHash.pawnHashKey & (PawnHashEntries - 1), slot);
    EXPECT_NE(evaluatePawnStructure(White), scoreA);  // B now holds the shared slot
    setupPosition(a, true);
    EXPECT_EQ(pawnHashProbe(0, White), Miss);
    EXPECT_EQ(evaluatePawnStructure(White), scoreA);
    EXPECT_EQ(pawnHashProbe(0, White), scoreA);  // A replaced B
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
    // Position, phase, then both terms from White's view.
    const std::tuple<const char*, int, int, int> rows[] = {
        // Unstoppable a7: race bonus by phase against a defender with pieces, else the pawns-only table.
        {"4k2r/P7/8/8/8/8/8/4K3 w - -", 5, 100 * 5 / 10, 400},
        {"4k3/P7/8/8/8/8/8/R3K3 w - -", 5, 400, 400},
        {"4k3/8/8/8/8/8/p7/4K2R w - -", 7, -100 * 7 / 10, -400},
        // A man on the pawn's path, or a king in the square, stops it.
        {"4k3/n7/P7/8/8/8/8/4K3 w - -", 5, 0, 0},
        {"1k6/P7/8/8/8/8/8/R3K3 w - -", 5, 0, 0},
        // Outside passed a4 (stopped by the king): mean file (1 + 0 + 5 + 7 + 5 + 7) / 5 = 5,
        // weight 4 at phase 9 and 8 at phase 10, none before and none in the pawn ending.
        {"8/8/1k3p1p/8/P7/8/5P1P/6K1 w - -", 8, 0, 0},
        {"8/8/1k3p1p/8/P7/8/5P1P/6K1 w - -", 9, 4 * 5, 0},
        {"8/8/1k3p1p/8/P7/8/5P1P/6K1 w - -", 10, 8 * 5, 0},
        // Both racing: a6 (288) against h4 (212); mean file (1 + 0 + 7) / 2 = 4.
        {"7k/8/P7/8/7p/8/8/K7 w - -", 10, 288 - 212 + 8 * 4 - 8 * 3, 288 - 212},
    };
    for (const auto& [fen, phase, race, ending] : rows) {
        structure(fen, phase, White);
        EXPECT_EQ(evaluatePassedPawnRace(White), race) << fen << " phase " << phase;
        EXPECT_EQ(evaluatePawnEnding(White), ending) << fen;
    }
}

}  // namespace
