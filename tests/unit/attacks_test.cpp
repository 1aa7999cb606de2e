#include "board/attacks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "board/board.h"
#include "board/tables.h"
#include "test_board.h"

namespace {

class AttacksTest : public ::testing::Test {
protected:
    void SetUp() override { initTables(); }

    // White's (or Black's) table of the position.
    const uint32_t* tableOf(const char* fen, int colour) {
        EXPECT_GE(setupPosition(fen), 0) << fen;
        computeAttacks(colour, table_);
        return table_;
    }

    AttackTable table_{};
};

constexpr uint32_t PawnUnit = 0x10000001, KnightUnit = 0x1000001, BishopUnit = 0x100001;
constexpr uint32_t RookUnit = 0x10001, QueenUnit = 0x1001, KingUnit = 0x101;

TEST_F(AttacksTest, RookBatteryCountsXrayAndKingSquareIsFixedUp) {
    const uint32_t* t = tableOf("k7/8/8/8/8/8/R7/R6K w - -", White);
    for (const char* s : {"a3", "a4", "a5", "a6", "a7"}) EXPECT_EQ(t[sq(s)], 0x10002u) << s;
    EXPECT_EQ(t[sq("a8")], 0x10001u);  // would be 0x10002 without the fix-up
    EXPECT_EQ(t[sq("a1")], RookUnit);  // defended by the a2 rook
    EXPECT_EQ(t[sq("a2")], RookUnit);
    EXPECT_EQ(t[sq("b1")], RookUnit);
    EXPECT_EQ(board[sq("a8")].colour, Black);  // transparency undone
}

TEST_F(AttacksTest, FixUpOnlyForALoneCheckingSlider) {
    // Two real attackers at the king: nothing is dropped.
    const uint32_t* t = tableOf("4k3/8/8/1B6/8/8/4R3/4R2K w - -", White);
    EXPECT_EQ(t[sq("e8")], RookUnit + BishopUnit + 1);
    // A lone queen with an x-ray rook behind it is counted once.
    t = tableOf("4k3/8/8/8/8/8/4Q3/4R2K w - -", White);
    EXPECT_EQ(t[sq("e8")], QueenUnit);
    EXPECT_EQ(t[sq("e7")], QueenUnit + 1);
}

TEST_F(AttacksTest, SquaresBehindTheEnemyKingAreAttacked) {
    const uint32_t* t = tableOf("8/4k3/8/8/8/8/8/K3R3 b - -", White);
    EXPECT_EQ(t[sq("e7")], RookUnit);
    EXPECT_EQ(t[sq("e8")], RookUnit);
    // An own king is not transparent for its own side's sliders.
    t = tableOf("8/4k3/8/8/8/8/4K3/4R3 w - -", White);
    EXPECT_EQ(t[sq("e3")], KingUnit);
    EXPECT_EQ(t[sq("e2")], RookUnit);
}

TEST_F(AttacksTest, DiagonalXrayOnlyBehindAQueen) {
    // Bishop c1 behind queen d2: count-only x-ray up to the first occupied square.
    const uint32_t* t = tableOf("7k/8/8/6p1/8/8/3Q4/2B4K w - -", White);
    EXPECT_EQ(t[sq("e3")], QueenUnit + 1);
    EXPECT_EQ(t[sq("f4")], QueenUnit + 1);
    EXPECT_EQ(t[sq("g5")], QueenUnit + 1);
    EXPECT_EQ(t[sq("h6")], 0u);
    // Queen c1 behind bishop d2: nothing beyond the bishop on that diagonal.
    t = tableOf("7k/8/8/8/8/8/3B4/2Q4K w - -", White);
    EXPECT_EQ(t[sq("d2")], QueenUnit);
    EXPECT_EQ(t[sq("e3")], BishopUnit);
    EXPECT_EQ(t[sq("h6")], BishopUnit);
    // Two bishops: no x-ray either.
    t = tableOf("7k/8/8/8/8/2B5/1B6/7K w - -", White);
    EXPECT_EQ(t[sq("d4")], BishopUnit);
    // On a file a queen sees through an own rook and a rook through an own queen.
    t = tableOf("7k/8/8/8/8/8/4R3/4Q2K w - -", White);
    EXPECT_EQ(t[sq("e5")], RookUnit + 1);
    t = tableOf("7k/8/8/8/8/8/4Q3/4R2K w - -", White);
    EXPECT_EQ(t[sq("e5")], QueenUnit + 1);
    // An enemy man ends the x-ray but is itself counted.
    t = tableOf("7k/8/4n3/8/8/8/4R3/4R2K w - -", White);
    EXPECT_EQ(t[sq("e6")], RookUnit + 1);
    EXPECT_EQ(t[sq("e7")], 0u);
}

TEST_F(AttacksTest, PawnKnightAndKingWords) {
    const uint32_t* t = tableOf("7k/7p/8/8/4P3/8/P7/1N2K3 w - -", White);
    EXPECT_EQ(t[sq("d5")], PawnUnit);
    EXPECT_EQ(t[sq("f5")], PawnUnit);
    EXPECT_EQ(t[sq("e5")], 0u);  // pushes are not attacks
    EXPECT_EQ(t[sq("b3")], PawnUnit);
    EXPECT_EQ(t[sq("a3")], KnightUnit);
    EXPECT_EQ(t[sq("c3")], KnightUnit);
    EXPECT_EQ(t[sq("d2")], KnightUnit + KingUnit);
    EXPECT_EQ(t[sq("f2")], KingUnit);
    EXPECT_EQ(t[sq("d1")], KingUnit);
    int attacked = 0;
    for (int s = 0; s < 64; ++s) attacked += t[s] != 0;
    EXPECT_EQ(attacked, 2 + 1 + 3 + 5 - 1);  // e4 pawn, a2 pawn, knight, king; d2 shared

    t = tableOf("7k/7p/8/4p3/8/8/8/K7 b - -", Black);
    EXPECT_EQ(t[sq("g6")], PawnUnit);
    EXPECT_EQ(t[sq("d4")], PawnUnit);
    EXPECT_EQ(t[sq("f4")], PawnUnit);
    EXPECT_EQ(t[sq("a6")], 0u);  // no wrap from the h-file
}

TEST_F(AttacksTest, EnsureAttackTablesComputesOncePerPly) {
    setupPosition("4k3/8/8/8/8/8/8/R3K3 w - -");
    attackCacheValid[3] = 0;
    ensureAttackTables(3);
    EXPECT_EQ(attackCacheValid[3], 1);
    EXPECT_EQ(attackTables[3][White][sq("a8")], RookUnit);
    EXPECT_EQ(attackTables[3][Black][sq("d7")], KingUnit);
    attackTables[3][White][sq("a8")] = 0xDEAD;  // a valid ply is left alone
    ensureAttackTables(3);
    EXPECT_EQ(attackTables[3][White][sq("a8")], 0xDEADu);
    attackCacheValid[3] = 0;
}

TEST_F(AttacksTest, SingleSquareTestsIgnoreKingsAndRespectBlockers) {
    setupPosition("8/8/8/3k4/8/8/8/4K3 w - -");
    EXPECT_EQ(isAttackedByBlack(sq("e4")), 0);
    EXPECT_EQ(isAttackedByWhite(sq("e2")), 0);

    setupPosition("7k/8/8/3p4/8/8/8/4K3 w - -");
    EXPECT_EQ(isAttackedByBlack(sq("e4")), 1);
    EXPECT_EQ(isAttackedByBlack(sq("c4")), 1);
    EXPECT_EQ(isAttackedByBlack(sq("d4")), 0);
    EXPECT_EQ(isAttackedByBlack(sq("e6")), 0);  // a pawn does not attack backwards

    setupPosition("r6k/8/8/8/P7/8/8/4K2B w - -");
    EXPECT_EQ(isAttackedByBlack(sq("a5")), 1);
    EXPECT_EQ(isAttackedByBlack(sq("a3")), 0);  // the a4 pawn blocks the rook
    EXPECT_EQ(isAttackedByWhite(sq("a8")), 1);  // bishop h1 along the long diagonal
    EXPECT_EQ(isAttackedByWhite(sq("b5")), 1);  // a4 pawn
    EXPECT_EQ(isAttackedByWhite(sq("e2")), 0);  // the king does not count

    setupPosition("7k/8/8/8/8/8/1n6/K7 w - -");
    EXPECT_EQ(isAttackedByBlack(sq("d1")), 1);
    EXPECT_EQ(isAttackedByBlack(sq("d3")), 1);
    EXPECT_EQ(isAttackedByBlack(sq("b3")), 0);
    EXPECT_EQ(isAttackedByBlack(sq("a1")), 0);  // diagonal neighbour of the knight
}

TEST_F(AttacksTest, StaticExchange) {
    // The pawn takes the rook, the knight takes the pawn.
    EXPECT_EQ(staticExchange(0, 520, PawnUnit, KnightUnit), 420);
    EXPECT_EQ(staticExchange(0, 350, KnightUnit, 0), 350);
    // A queen does not take a defended pawn; a pawn always captures, even at a loss.
    EXPECT_EQ(staticExchange(0, 100, QueenUnit, PawnUnit), 0);
    EXPECT_EQ(staticExchange(0, 50, PawnUnit, PawnUnit), -50);
    // The least valuable attacker goes first.
    EXPECT_EQ(staticExchange(0, 330, QueenUnit + KnightUnit, BishopUnit), 330);
    // A king captures only an undefended man.
    EXPECT_EQ(staticExchange(0, 330, KingUnit, PawnUnit), 0);
    EXPECT_EQ(staticExchange(0, 330, KingUnit, 1), 0);
    EXPECT_EQ(staticExchange(0, 330, KingUnit, 0), 330);
    EXPECT_EQ(staticExchange(40, 330, 0, PawnUnit), 40);
    // An x-ray count behind the rook decides a rook-for-rook trade.
    EXPECT_EQ(staticExchange(0, 520, RookUnit, RookUnit), 0);
    EXPECT_EQ(staticExchange(0, 520, RookUnit + 1, RookUnit), 520);
    // A bare x-ray count is played as a queen.
    EXPECT_EQ(staticExchange(0, 520, 1, 0), 520);
    EXPECT_EQ(staticExchange(0, 100, 1, PawnUnit), 0);
    // Words from a real table: Nxe5 against a pawn-defended pawn.
    const uint32_t* w = tableOf("4k3/8/3p4/4p3/8/5N2/8/4K3 w - -", White);
    AttackTable black;
    computeAttacks(Black, black);
    EXPECT_EQ(staticExchange(0, 100, w[sq("e5")], black[sq("e5")]), 0);
}

// --- independent reference on random positions --------------------------

struct Dir {
    int df, dr;
};
constexpr Dir RookDirs[4] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
constexpr Dir BishopDirs[4] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
constexpr Dir KnightDirs[8] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
constexpr Dir KingDirs[8] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, 1}, {1, -1}, {-1, -1}};

bool onBoard(int f, int r) { return f >= 0 && f < 8 && r >= 0 && r < 8; }

// Attack table by coordinates, following the same counting rules.
void referenceAttacks(int colour, uint32_t* out) {
    std::memset(out, 0, 64 * sizeof(uint32_t));
    const Square enemyKing = pieceList[colour ^ 1][0];
    auto occupied = [&](int s) { return s != enemyKing && board[s].colour != NoColour; };
    auto slide = [&](int from, const Dir* dirs, uint32_t unit, unsigned xray) {
        for (int d = 0; d < 4; ++d) {
            int f = fileOf(from) + dirs[d].df, r = rankOf(from) + dirs[d].dr;
            for (; onBoard(f, r); f += dirs[d].df, r += dirs[d].dr) {
                const int s = r * 8 + f;
                out[s] += unit;
                if (!occupied(s)) continue;
                if (board[s].colour == colour && ((xray >> board[s].piece) & 1)) {
                    for (f += dirs[d].df, r += dirs[d].dr; onBoard(f, r); f += dirs[d].df, r += dirs[d].dr) {
                        out[r * 8 + f] += 1;
                        if (occupied(r * 8 + f)) break;
                    }
                }
                break;
            }
        }
    };
    for (int s = 0; s < 64; ++s) {
        if (board[s].colour != colour) continue;
        const int piece = board[s].piece;
        const uint32_t unit = attackWeight[piece] + 1;
        if (piece == Rook || piece == Queen) slide(s, RookDirs, unit, (1u << Rook) | (1u << Queen));
        if (piece == Bishop || piece == Queen) slide(s, BishopDirs, unit, 1u << Queen);
        if (piece == Pawn) {
            const int dr = colour == White ? 1 : -1;
            for (int df : {-1, 1})
                if (onBoard(fileOf(s) + df, rankOf(s) + dr)) out[s + dr * 8 + df] += unit;
        }
        if (piece == Knight || piece == King) {
            for (const Dir& d : piece == Knight ? KnightDirs : KingDirs)
                if (onBoard(fileOf(s) + d.df, rankOf(s) + d.dr)) out[s + d.dr * 8 + d.df] += unit;
        }
    }
    const uint32_t kinds = out[enemyKing] & ~0xFFu;
    if ((out[enemyKing] & 0xFF) > 1 && (kinds == 0x100000 || kinds == 0x10000 || kinds == 0x1000))
        out[enemyKing] = kinds + 1;
}

int referenceIsAttacked(int colour, int target) {
    for (int s = 0; s < 64; ++s) {
        if (board[s].colour != colour) continue;
        const int piece = board[s].piece;
        const int df = fileOf(target) - fileOf(s), dr = rankOf(target) - rankOf(s);
        if (piece == Pawn && std::abs(df) == 1 && dr == (colour == White ? 1 : -1)) return 1;
        if (piece == Knight && std::abs(df * dr) == 2) return 1;
        const bool straight = (df == 0) != (dr == 0);
        const bool diagonal = df != 0 && std::abs(df) == std::abs(dr);
        if ((straight && (piece == Rook || piece == Queen)) || (diagonal && (piece == Bishop || piece == Queen))) {
            const int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
            int q = s + sr * 8 + sf;
            while (q != target && board[q].colour == NoColour) q += sr * 8 + sf;
            if (q == target) return 1;
        }
    }
    return 0;
}

void randomPosition(std::mt19937& rng) {
    clearBoard();
    std::uniform_int_distribution<int> square(0, 63), kind(Pawn, Queen), count(0, 12);
    int wk, bk;
    do {
        wk = square(rng);
        bk = square(rng);
    } while (distance[wk][bk] < 2);
    putMan(wk, King, White);
    putMan(bk, King, Black);
    for (int colour = White; colour <= Black; ++colour) {
        for (int n = count(rng); n > 0; --n) {
            const int s = square(rng);
            const int piece = kind(rng);
            if (!isEmpty(s) || (piece == Pawn && (rankOf(s) == 0 || rankOf(s) == 7))) continue;
            putMan(s, piece, colour);
        }
    }
    testboard::rebuildDerived();
}

TEST_F(AttacksTest, RandomPositionsAgreeWithCoordinateReference) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 400; ++round) {
        randomPosition(rng);
        SquareState before[64];
        std::memcpy(before, board, sizeof board);
        for (int colour = White; colour <= Black; ++colour) {
            AttackTable fast;
            uint32_t slow[64];
            computeAttacks(colour, fast);
            referenceAttacks(colour, slow);
            ASSERT_EQ(std::memcmp(before, board, sizeof board), 0) << "board changed, round " << round;
            for (int s = 0; s < 64; ++s) {
                ASSERT_EQ(fast[s], slow[s]) << "round " << round << " colour " << colour << " square " << s;
                const int quick = colour == White ? isAttackedByWhite(s) : isAttackedByBlack(s);
                ASSERT_EQ(quick, referenceIsAttacked(colour, s))
                    << "round " << round << " colour " << colour << " square " << s;
            }
        }
    }
}

}  // namespace
