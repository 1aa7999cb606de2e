#include "eval/pawns.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "board/board.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "test_board.h"

namespace {

struct Terms {
    int sc, eg;
};

// The working fields of the last evaluation (the whole table is too big to copy).
struct Working {
    Bitboard attackSpan[2];
    int passedFiles[2], weakFiles[2], pawnScore, pawnEndgameScore;
};

Working working() {
    const PawnHashTable& h = pawnHash;
    return {{h.attackSpan[0], h.attackSpan[1]}, {h.passedFiles[0], h.passedFiles[1]}, {h.weakFiles[0], h.weakFiles[1]},
            h.pawnScore, h.pawnEndgameScore};
}

class PawnsTest : public ::testing::Test {
protected:
    void SetUp() override {
        initTables();
        initPawnHash();
        gamePhase = 0;
    }

    // One pawn's contribution, from its owner's view, with fresh working fields.
    Terms pawnTerms(const char* fen, const char* square) {
        EXPECT_GE(setupPosition(fen), 0) << fen;
        EXPECT_EQ(pawnHashProbe(0, White), 32000);
        const Square s = sq(square);
        EXPECT_EQ(board[s].piece, Pawn) << square;
        if (board[s].colour == White) {
            evaluateWhitePawn(s);
            return {pawnHash.pawnScore, pawnHash.pawnEndgameScore};
        }
        evaluateBlackPawn(s);
        return {-pawnHash.pawnScore, -pawnHash.pawnEndgameScore};
    }

    int structure(const char* fen, int phase, int side) {
        EXPECT_GE(setupPosition(fen), 0) << fen;
        gamePhase = phase;
        return evaluatePawnStructure(side);
    }
};

Bitboard bits(std::initializer_list<const char*> squares) {
    Bitboard b = 0;
    for (const char* s : squares) b |= Bitboard(1) << sq(s);
    return b;
}

Bitboard flipRanks(Bitboard b) {
    Bitboard out = 0;
    for (int s = 0; s < 64; ++s)
        if (b >> s & 1) out |= Bitboard(1) << (s ^ 56);
    return out;
}

TEST_F(PawnsTest, MasksAtTheEdges) {
    const PawnHashTable& h = pawnHash;
    EXPECT_EQ(h.pawnAttackerMask[White][sq("h3")], bits({"g2"}));
    EXPECT_EQ(h.pawnAttackerMask[Black][sq("e8")], 0u);
    EXPECT_EQ(h.passedMask[Black][sq("h3")], bits({"h2", "h1", "g2", "g1"}));
    EXPECT_EQ(h.supportMask[Black][sq("b7")], bits({"a7", "a8", "c7", "c8"}));
    EXPECT_EQ(h.neighbourMask[sq("a1")], bits({"b1", "b2"}));
}

TEST_F(PawnsTest, PawnSetsKeyAndPawnAttacks) {
    setupPosition("4k3/8/8/p7/4P2P/8/8/4K3 w - -");
    EXPECT_EQ(pawnHash.whitePawns, bits({"e4", "h4"}));
    EXPECT_EQ(pawnHash.blackPawns, bits({"a5"}));
    EXPECT_EQ(pawnHash.pawnHashKey, pawnKey[White][sq("e4")] ^ pawnKey[White][sq("h4")] ^ pawnKey[Black][sq("a5")]);
    const uint32_t key = pawnHash.pawnHashKey;
    removePawn(sq("e4"), White);
    addPawn(sq("e5"), White);
    removePawn(sq("e5"), White);
    addPawn(sq("e4"), White);
    EXPECT_EQ(pawnHash.pawnHashKey, key);
    EXPECT_EQ(pawnHash.whitePawns, bits({"e4", "h4"}));

    EXPECT_TRUE(attackedByWhitePawn(sq("d5")));
    EXPECT_TRUE(attackedByWhitePawn(sq("g5")));
    EXPECT_FALSE(attackedByWhitePawn(sq("e5")));
    EXPECT_FALSE(attackedByWhitePawn(sq("a6")));  // no wrap from the h4 pawn
    EXPECT_TRUE(attackedByBlackPawn(sq("b4")));
    EXPECT_FALSE(attackedByBlackPawn(sq("h3")));  // no wrap from the a5 pawn
}

TEST_F(PawnsTest, IsolatedPawns) {
    // Enemy pawn ahead on the file.
    Terms t = pawnTerms("4k3/8/3p4/8/3P4/8/8/4K3 w - -", "d4");
    EXPECT_EQ(t.sc, -10);
    EXPECT_EQ(t.eg, -10);
    EXPECT_EQ(pawnHash.weakFiles[White], 1 << 3);
    // File ahead free, but not passed because of e6.
    t = pawnTerms("4k3/8/4p3/8/3P4/8/8/4K3 w - -", "d4");
    EXPECT_EQ(t.sc, -20);
    EXPECT_EQ(t.eg, -10);
    // Isolated and passed: the passed bonus comes on top.
    t = pawnTerms("4k3/8/8/8/3P4/8/8/4K3 w - -", "d4");
    EXPECT_EQ(t.sc, -20);
    EXPECT_EQ(t.eg, -10 + 20);
    EXPECT_EQ(pawnHash.passedFiles[White], 1 << 3);
    // The endgame part depends on the file.
    EXPECT_EQ(pawnTerms("4k3/p7/8/8/8/8/1P6/4K3 w - -", "b2").eg, -2);
    EXPECT_EQ(pawnTerms("4k3/1p6/8/8/8/8/P7/4K3 w - -", "a2").eg, 0);
}

TEST_F(PawnsTest, DoubledPawnsPayEachAndOnlyTheFrontOneIsPassed) {
    Terms front = pawnTerms("4k3/8/8/8/8/2P5/2PP4/4K3 w - -", "c3");
    EXPECT_EQ(front.sc, -5);
    EXPECT_EQ(front.eg, 12);  // passed on the third rank, protected bonus 0 there
    Terms rear = pawnTerms("4k3/8/8/8/8/2P5/2PP4/4K3 w - -", "c2");
    EXPECT_EQ(rear.sc, -5);
    EXPECT_EQ(rear.eg, 0);
    EXPECT_EQ(pawnHash.passedFiles[White], 0);
}

TEST_F(PawnsTest, BackwardPawns) {
    // Stop square hit by two enemy pawns and defended by none.
    Terms t = pawnTerms("4k3/8/8/2p1p3/2P5/3P4/8/4K3 w - -", "d3");
    EXPECT_EQ(t.sc, -25);
    EXPECT_EQ(pawnHash.weakFiles[White], 1 << 3);
    // By one enemy pawn.
    t = pawnTerms("4k3/8/8/2p5/2P5/3P4/8/4K3 w - -", "d3");
    EXPECT_EQ(t.sc, -20);
    // Stop square occupied (here rammed as well: -20 and the blocked penalty of d3).
    t = pawnTerms("4k3/8/8/8/2Pp4/3P4/8/4K3 w - -", "d3");
    EXPECT_EQ(t.sc, -20 - 16);
    // Neighbour two ranks up only: no pawn beside it (-2), and none can
    // support the stop square either (-8).
    t = pawnTerms("4k3/4p3/8/2P5/8/3P4/8/4K3 w - -", "d3");
    EXPECT_EQ(t.sc, -2 - 8);
    EXPECT_EQ(pawnHash.weakFiles[White], 1 << 3);
    // A neighbour one rank up can still support the stop square.
    t = pawnTerms("4k3/4p3/8/8/2P5/3P4/8/4K3 w - -", "d3");
    EXPECT_EQ(t.sc, 0);
    EXPECT_EQ(pawnHash.weakFiles[White], 0);
}

TEST_F(PawnsTest, PassedAndProtectedPassedScaleWithPhase) {
    Terms t = pawnTerms("4k3/8/4P3/3P4/8/8/8/4K3 w - -", "e6");
    EXPECT_EQ(t.sc, 0);
    EXPECT_EQ(t.eg, 64 + 32);
    EXPECT_EQ(pawnHashStore(0, White), 36);
    EXPECT_EQ(pawnHashStore(10, White), 96);
    EXPECT_EQ(pawnHashStore(0, Black), -36);

    // Whole structure: d5 passed (40), e6 protected passed (96).
    EXPECT_EQ(structure("4k3/8/4P3/3P4/8/8/8/4K3 w - -", 0, White), (6 * 136) / 16);
    // Same structure at phase 10: the cached entry serves, only the scaling differs.
    gamePhase = 10;
    EXPECT_EQ(pawnHashProbe(10, White), 136);
    EXPECT_EQ(evaluatePawnStructure(Black), -136);
}

TEST_F(PawnsTest, PawnUnderAttackScoresNothingButKeepsItsSpan) {
    // e4 is isolated from d-file help, doubled and passed, but attacked by d5.
    Terms t = pawnTerms("4k3/8/8/3p4/4P3/4P3/8/4K3 w - -", "e4");
    EXPECT_EQ(t.sc, 0);
    EXPECT_EQ(t.eg, 0);
    EXPECT_EQ(pawnHash.weakFiles[White], 0);
    EXPECT_EQ(pawnHash.passedFiles[White], 0);
    EXPECT_EQ(pawnHash.attackSpan[White], bits({"d5", "d6", "d7", "d8", "f5", "f6", "f7", "f8"}));
    // Its partner behind still pays.
    EXPECT_EQ(pawnTerms("4k3/8/8/3p4/4P3/4P3/8/4K3 w - -", "e3").sc, -20 - 5);
}

TEST_F(PawnsTest, RammedPawnWithAndWithoutLever) {
    // Isolated and blocked: -10 and the blocked penalty of e4.
    EXPECT_EQ(pawnTerms("4k3/8/8/4p3/4P3/8/8/4K3 w - -", "e4").sc, -10 - 12);
    // d3 cannot get to d4, which only the blocker controls.
    EXPECT_EQ(pawnTerms("4k3/8/8/4p3/4P3/3P4/8/4K3 w - -", "e4").sc, -12);
    // With c3 covering d4 the d-pawn is a lever in reserve: no penalty.
    EXPECT_EQ(pawnTerms("4k3/8/8/4p3/4P3/2PP4/8/4K3 w - -", "e4").sc, 0);
    // The right-hand walk.
    EXPECT_EQ(pawnTerms("4k3/8/8/4p3/4P3/5PP1/8/4K3 w - -", "e4").sc, 0);
    // A pawn already attacking the blocker is a lever: no penalty.
    EXPECT_EQ(pawnTerms("4k3/8/8/4p3/3PP3/8/8/4K3 w - -", "e4").sc, 0);
    // Black's view: the mirror of the second case.
    EXPECT_EQ(pawnTerms("4k3/8/3p4/4p3/4P3/8/8/4K3 w - -", "e5").sc, -12);
}

// Random structures with kings and sometimes a rook; the mirror image must
// give every term to the other colour.
std::string randomFen(std::mt19937& rng) {
    char grid[64];
    for (char& c : grid) c = ' ';
    std::uniform_int_distribution<int> square(0, 63), pawns(0, 8), coin(0, 3);
    int wk, bk;
    do {
        wk = square(rng);
        bk = square(rng);
    } while (distance[wk][bk] < 2);
    grid[wk] = 'K';
    grid[bk] = 'k';
    for (char pawn : {'P', 'p'}) {
        for (int n = pawns(rng); n > 0; --n) {
            const int s = 8 + square(rng) % 48;
            if (grid[s] == ' ') grid[s] = pawn;
        }
    }
    for (char rook : {'R', 'r'}) {
        const int s = square(rng);
        if (coin(rng) == 0 && grid[s] == ' ') grid[s] = rook;
    }
    std::string fen;
    for (int r = 7; r >= 0; --r) {
        int empty = 0;
        for (int f = 0; f < 8; ++f) {
            const char c = grid[r * 8 + f];
            if (c == ' ') {
                ++empty;
                continue;
            }
            if (empty) fen += char('0' + empty);
            empty = 0;
            fen += c;
        }
        if (empty) fen += char('0' + empty);
        if (r) fen += '/';
    }
    return fen + " w - -";
}

TEST_F(PawnsTest, ColourSymmetry) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 600; ++round) {
        const std::string fen = randomFen(rng);
        const std::string mirrored = mirrorFen(fen);
        const int phase = round % 11;
        const int score = structure(fen.c_str(), phase, White);
        const Working before = working();
        const int race = evaluatePassedPawnRace(White);
        const int ending = evaluatePawnEnding(White);

        clearPawnHash();
        ASSERT_EQ(structure(mirrored.c_str(), phase, Black), score) << fen;
        ASSERT_EQ(pawnHash.passedFiles[Black], before.passedFiles[White]) << fen;
        ASSERT_EQ(pawnHash.passedFiles[White], before.passedFiles[Black]) << fen;
        ASSERT_EQ(pawnHash.weakFiles[Black], before.weakFiles[White]) << fen;
        ASSERT_EQ(pawnHash.weakFiles[White], before.weakFiles[Black]) << fen;
        ASSERT_EQ(pawnHash.attackSpan[Black], flipRanks(before.attackSpan[White])) << fen;
        ASSERT_EQ(pawnHash.attackSpan[White], flipRanks(before.attackSpan[Black])) << fen;
        ASSERT_EQ(evaluatePassedPawnRace(Black), race) << fen << " phase " << phase;
        ASSERT_EQ(evaluatePawnEnding(Black), ending) << fen;
    }
}

TEST_F(PawnsTest, CacheHitRestoresEveryWorkingField) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const std::string fen = randomFen(rng);
        const int fresh = structure(fen.c_str(), 4, White);
        const Working computed = working();
        pawnHash.attackSpan[0] = pawnHash.attackSpan[1] = ~Bitboard(0);
        pawnHash.passedFiles[0] = pawnHash.weakFiles[1] = 0xFF;
        pawnHash.pawnScore = 12345;
        ASSERT_EQ(pawnHashProbe(4, White), fresh) << fen;
        ASSERT_EQ(pawnHash.attackSpan[0], computed.attackSpan[0]);
        ASSERT_EQ(pawnHash.attackSpan[1], computed.attackSpan[1]);
        ASSERT_EQ(pawnHash.passedFiles[0], computed.passedFiles[0]);
        ASSERT_EQ(pawnHash.passedFiles[1], computed.passedFiles[1]);
        ASSERT_EQ(pawnHash.weakFiles[0], computed.weakFiles[0]);
        ASSERT_EQ(pawnHash.weakFiles[1], computed.weakFiles[1]);
        ASSERT_EQ(pawnHash.pawnScore, computed.pawnScore);
        ASSERT_EQ(pawnHash.pawnEndgameScore, computed.pawnEndgameScore);
    }
}

TEST_F(PawnsTest, CollidingStructuresNeverShareAnEntry) {
    const char* fenA = "4k3/pppppppp/8/8/8/8/PPPPPPP1/4K3 w - -";
    setupPosition(fenA);
    const uint32_t slotA = pawnHash.pawnHashKey & (PawnHashEntries - 1);
    // Brute force two white and two black pawns whose key lands in the same slot.
    int w1 = -1, w2 = -1, b1 = -1, b2 = -1;
    for (int a = 8; a < 56 && w1 < 0; ++a)
        for (int b = a + 1; b < 56 && w1 < 0; ++b)
            for (int c = 8; c < 56 && w1 < 0; ++c)
                for (int d = c + 1; d < 56; ++d) {
                    if (c == a || c == b || d == a || d == b) continue;
                    const uint32_t key = pawnKey[White][a] ^ pawnKey[White][b] ^ pawnKey[Black][c] ^ pawnKey[Black][d];
                    if ((key & (PawnHashEntries - 1)) == slotA) {
                        w1 = a, w2 = b, b1 = c, b2 = d;
                        break;
                    }
                }
    ASSERT_GE(w1, 0) << "no colliding structure found";
    auto setupB = [&](bool keepCache) {
        clearBoard();
        putMan(sq("e1"), King, White);
        putMan(sq("e8"), King, Black);
        for (int s : {w1, w2}) putMan(s, Pawn, White);
        for (int s : {b1, b2}) putMan(s, Pawn, Black);
        testboard::rebuildDerived(keepCache);
    };
    setupB(false);
    const int freshB = evaluatePawnStructure(White);
    setupPosition(fenA);
    const int freshA = evaluatePawnStructure(White);
    ASSERT_NE(freshA, freshB);

    // A is stored; B lands on A's slot and must miss, then replace it.
    setupB(true);
    ASSERT_EQ(pawnHash.pawnHashKey & (PawnHashEntries - 1), slotA);
    EXPECT_EQ(pawnHashProbe(0, White), 32000);
    EXPECT_EQ(evaluatePawnStructure(White), freshB);
    setupPosition(fenA, true);
    EXPECT_EQ(pawnHashProbe(0, White), 32000);
    EXPECT_EQ(evaluatePawnStructure(White), freshA);
    EXPECT_EQ(pawnHashProbe(0, White), freshA);
}

TEST_F(PawnsTest, SquareRule) {
    // White pawn a5 runs 3 moves to a8.
    EXPECT_FALSE(isUnstoppable(sq("a5"), sq("e8"), true, White));
    EXPECT_TRUE(isUnstoppable(sq("a5"), sq("f8"), true, White));
    EXPECT_TRUE(isUnstoppable(sq("a5"), sq("e8"), false, White));
    EXPECT_FALSE(isUnstoppable(sq("a5"), sq("d8"), false, White));
    // From rank 2 the double step saves a move: a2 counts like a3.
    EXPECT_TRUE(isUnstoppable(sq("a2"), sq("h6"), true, White));
    EXPECT_TRUE(isUnstoppable(sq("a3"), sq("h6"), true, White));
    EXPECT_FALSE(isUnstoppable(sq("a2"), sq("g6"), true, White));
    // A king beside the pawn catches it when it is to move.
    EXPECT_FALSE(isUnstoppable(sq("a2"), sq("b1"), true, White));
    EXPECT_TRUE(isUnstoppable(sq("a2"), sq("b1"), false, White));
    // Black pawns run to rank 1; the correction applies on rank 7.
    EXPECT_FALSE(isUnstoppable(sq("h4"), sq("d1"), true, Black));
    EXPECT_TRUE(isUnstoppable(sq("h4"), sq("c1"), true, Black));
    EXPECT_TRUE(isUnstoppable(sq("h7"), sq("a3"), true, Black));
    EXPECT_FALSE(isUnstoppable(sq("h7"), sq("b3"), true, Black));
    EXPECT_FALSE(isUnstoppable(sq("h7"), sq("g8"), true, Black));
    EXPECT_FALSE(isUnstoppable(sq("h2"), sq("g2"), false, Black));
}

TEST_F(PawnsTest, PassedPawnRace) {
    // Unstoppable a7 against a defender with a rook: raceBonus scaled by the phase.
    structure("4k2r/P7/8/8/8/8/8/4K3 w - -", 5, White);
    ASSERT_EQ(pawnHash.passedFiles[White], 1);
    EXPECT_EQ(evaluatePassedPawnRace(White), 100 * 5 / 10);
    EXPECT_EQ(evaluatePassedPawnRace(Black), -50);
    // Against a bare king the pawns-only table applies.
    structure("4k3/P7/8/8/8/8/8/R3K3 w - -", 5, White);
    EXPECT_EQ(evaluatePassedPawnRace(White), 400);
    // A man on the pawn's path cancels the race bonus.
    structure("n3k3/P7/8/8/8/8/8/4K3 w - -", 5, White);
    EXPECT_EQ(evaluatePassedPawnRace(White), 0);
    // A king in the square stops it.
    structure("1k6/P7/8/8/8/8/8/R3K3 w - -", 5, White);
    EXPECT_EQ(evaluatePassedPawnRace(White), 0);
    // Black's unstoppable pawn counts for Black; White's rook decides the table.
    structure("4k3/8/8/8/8/8/p7/4K2R w - -", 7, White);
    EXPECT_EQ(evaluatePassedPawnRace(White), -100 * 7 / 10);
    EXPECT_EQ(evaluatePassedPawnRace(Black), 70);
}

TEST_F(PawnsTest, OutsidePassedPawnTermInLateEndgames) {
    // Files: a, f, h (White) and f, h (Black): mean (1 + 24) / 5 = 5.
    // Only a4 is passed, and the black king stops it.
    const char* fen = "8/8/1k3p1p/8/P7/8/5P1P/6K1 w - -";
    structure(fen, 9, White);
    ASSERT_EQ(pawnHash.passedFiles[White], 1);
    ASSERT_EQ(pawnHash.passedFiles[Black], 0);
    EXPECT_EQ(evaluatePassedPawnRace(White), 4 * 5);
    structure(fen, 10, White);
    EXPECT_EQ(evaluatePassedPawnRace(White), 8 * 5);
    EXPECT_EQ(evaluatePassedPawnRace(Black), -8 * 5);
    structure(fen, 8, White);
    EXPECT_EQ(evaluatePassedPawnRace(White), 0);
    // The pawn ending has no outside term.
    structure(fen, 10, White);
    EXPECT_EQ(evaluatePawnEnding(White), 0);
}

TEST_F(PawnsTest, PawnEndingAlwaysUsesThePawnsOnlyBonus) {
    structure("7k/8/P7/8/8/8/8/4K3 w - -", 10, White);
    EXPECT_EQ(evaluatePawnEnding(White), 288);
    EXPECT_EQ(evaluatePawnEnding(Black), -288);
    // Both sides racing, Black's pawn one relative rank further back.
    structure("7k/8/P7/8/7p/8/8/K7 w - -", 10, White);
    EXPECT_EQ(evaluatePawnEnding(White), 288 - 212);
}

}  // namespace
