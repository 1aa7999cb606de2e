#include "eval/pieces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <vector>

#include "board/attacks.h"
#include "board/board.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "eval/pawns.h"
#include "test_board.h"

namespace {

enum Field { Value, Duty, Mobility, Hanging };

class PiecesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        initTables();
        initPawnHash();
    }
    // Position with its pawn fields and ply-0 attack maps; phase < 0 keeps the material's.
    static int load(const char* fen, int phase = -1) {
        const int side = setupPosition(fen);
        EXPECT_GE(side, 0) << fen;
        gamePhase = computeGamePhase();
        evaluatePawnStructure(side);
        if (phase >= 0) gamePhase = phase;
        computeAttacks(White, attackTables[0][White]);
        computeAttacks(Black, attackTables[0][Black]);
        return side;
    }
    // One man's own score and what it left in the accumulators, by Field.
    static std::vector<int> man(Square s) {
        static int (*const ops[7])(Square, int, int) = {
            nullptr, evaluatePawnMan, evaluateKnight, evaluateBishop, evaluateRook, evaluateQueen, evaluateKing};
        beginScoringColour(board[s].colour, 0);
        const int v = ops[board[s].piece](s, board[s].colour, board[s].colour ^ 1);
        return {v, dutySum, mobilitySum, hangingSum};
    }
};

TEST_F(PiecesTest, WorkedManScores) {
    const std::tuple<const char*, const char*, int, Field, int> rows[] = {
        // Knight in the corner with no safe square, inside and outside enemy pawn reach, both wings.
        {"4k3/8/8/8/1p6/1P6/2P5/N3K3 w - -", "a1", 3, Value, -150},
        {"4k3/8/8/8/8/6P1/5P2/4K2N w - -", "h1", 3, Value, -150 + (3 + 6) / 2},
        // Outpost e5: pawn-backed, halved against a knight but not a rook, in pawn reach.
        {"4k3/8/8/4N3/3P4/8/8/4K3 w - -", "e5", 3, Value, (3 + 6) / 2 + 12 + 7},
        {"4k3/3n4/8/4N3/3P4/8/8/4K3 w - -", "e5", 3, Value, (3 + 6) / 2 + 19 / 2},
        {"4k3/5p2/8/4N3/3P4/8/8/4K3 w - -", "e5", 3, Value, 0},
        // Rook files: open, half-open, behind its own passed pawn, chasing an enemy passed pawn.
        {"4k3/pp4pp/8/8/8/8/PP4PP/3RK3 w - -", "d1", 2, Value, 14 + 4 * 2},
        {"4k3/pp4pp/8/8/8/8/PP1P2PP/3RK3 w - -", "d1", 2, Value, (2 + 8) + 4 * 2},
        {"4k3/8/8/3P4/8/8/8/3rK3 w - -", "d1", 2, Value, 10 + (2 + 8) + 4 * 2},
        // Seventh rank: doubled there, backed only from below.
        {"7k/2RR2p1/8/8/8/8/8/4K3 w - -", "c7", 4, Value, 14 + 5 + (30 - 4) + 4 * 4},
        // Bishops: trapped on h7 (not without f7) and Black's a2; pins, a pawn or a guarded man
        // behind, no looking through a king, a discovered attack.
        {"6k1/5p1B/6p1/8/8/8/8/4K3 w - -", "h7", 3, Value, -120 + 3 + (3 + 6) / 2},
        {"4k3/8/8/8/8/1P6/b1P5/4K3 b - -", "a2", 3, Value, -120 + 3 + (3 + 6) / 2},
        {"4k3/8/2n5/1B6/8/8/8/4K3 w - -", "b5", 3, Value, 15 + 3 + (3 + 6) / 2},
        {"4k3/1p6/2n5/1B6/8/8/8/4K3 w - -", "b5", 3, Value, 10 + 3 + (3 + 6) / 2},
        {"8/3q4/2k5/8/B7/8/8/4K3 w - -", "a4", 3, Value, 3 + (3 + 6) / 2},
        {"k7/3r4/2N5/1B6/8/8/8/4K3 w - -", "b5", 3, Value, 8 + 3 + (3 + 6) / 2},
        // Mobility goes on behind the first man; a long diagonal is capped at nine; boxed queen;
        // a guarded square still counts when it holds a man worth taking.
        {"7k/8/8/8/8/4N3/8/2B1K3 w - -", "c1", 3, Mobility, 2 * 6},
        {"k7/8/8/8/3B4/8/8/4K3 w - -", "d4", 3, Mobility, 2 * 9},
        {"k7/8/8/8/8/8/PP6/QN2K3 w - -", "a1", 3, Mobility, -12},
        {"k7/8/8/8/8/2b5/Pq6/QN2K3 w - -", "a1", 3, Mobility, -4},
        {"k7/8/1Q6/8/8/8/8/4K3 w - -", "b6", 3, Value, 12},  // close to the enemy king
        // Pawns: 5 per attacker on a weak one; blocked (unless it can capture), attacked, hanging.
        {"4k3/8/8/8/3P4/8/2n1n3/4K3 w - -", "d4", 3, Value, 3 - 2 * 5},
        {"4k3/8/8/3p4/3P4/8/4n3/4K3 w - -", "d4", 3, Mobility, -4},
        {"4k3/8/8/3p4/3P4/8/4n3/4K3 w - -", "d4", 3, Hanging, -8 - 8},
        // Duties: the a5 rook alone falls one x-ray short; two knights; a second guard; a bishop's.
        {"k3r3/4r3/8/R3N3/3P4/8/8/4K3 w - -", "d4", 3, Duty, -4},
        {"k1r1r3/8/8/2N1N3/3P4/8/8/4K3 w - -", "d4", 3, Duty, -4 * 2 - 2 * 2},
        {"k3r3/8/8/4N3/8/2B5/8/4K3 w - -", "c3", 3, Duty, -4},
        // Attacked men: by a pawn, by a rook (guarded by a pawn, by a rook), trapped too; check.
        {"k7/8/5p2/4N3/3P4/8/8/4K3 w - -", "e5", 3, Hanging, -10},
        {"k3r3/8/8/R3N3/8/8/8/4K3 w - -", "e5", 3, Hanging, -6},
        {"r3k3/8/8/8/8/1P6/2P5/N3K3 w - -", "a1", 3, Hanging, -10 - 8},
        {"4k3/8/8/8/8/8/8/r3K3 w - -", "e1", 3, Hanging, -14},
        // King: lost rights, checking squares, squares held more strongly, scaled by phase.
        {"k2r1r2/8/8/8/8/8/8/4K3 w - -", "e1", 0, Value, -40 - 6 - 6 - 8},
        {"k2r1r2/8/8/8/8/8/8/4K3 w - -", "e1", 5, Value, -40 / 6 + (3 * -6 * 2) / 16 - 6 - 8 + (-44 * 5) / 10},
        {"k7/8/8/4n3/8/8/8/4K3 w - -", "e1", 0, Value, -40 + (8 * -16 * 2) / 16 - 2 * 2},
        // The king's duties: 4 each from its own score, 2 more into the duty sum beyond one.
        {"k3r3/4r3/8/8/8/8/4N2R/4K3 w - -", "e1", 0, Value, -40 + (8 * -6 * 2) / 16 - 2 - 4},
        {"k3r3/8/8/8/8/4q3/8/4K3 w - -", "e1", 0, Value, -40 + (8 * -58 * 2) / 16 - 2 * 7 - 2 * 7},
    };
    for (const auto& [fen, square, phase, field, expected] : rows) {
        load(fen, phase);
        EXPECT_EQ(man(sq(square))[field], expected) << fen << " " << square << " field " << field;
    }
}

TEST_F(PiecesTest, CastlingStateOfTheKing) {
    for (int phase : {0, 5, 10}) {
        load("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq -", phase);
        const int withRights = man(sq("e1"))[Value];
        hasCastled[White] = 1;
        EXPECT_EQ(man(sq("e1"))[Value] - withRights, 10 - phase);
        hasCastled[White] = 0;
        castleRights = BlackShort | BlackLong;
        EXPECT_EQ(man(sq("e1"))[Value] - withRights, -40 / (phase + 1));
        castleRights = WhiteLong;
        EXPECT_EQ(man(sq("e1"))[Value], withRights);
    }
}

TEST_F(PiecesTest, ColourTotalsAreTheMenPlusDevelopment) {
    // Position, White's and Black's development charges.
    const std::tuple<const char*, int, int> rows[] = {
        {"4k3/3pp3/3bn3/8/8/3BN3/3PP3/4K3 w - -", -16, -16},
        {"4k3/4p3/4q3/8/8/4n3/4P3/4K3 w - -", 0, -8},  // only own men block
    };
    for (const auto& [fen, white, black] : rows) {
        load(fen);
        PieceTotals totals;
        evaluatePiecesByColour(0, totals);
        for (int colour : {White, Black}) {
            int sum = 0;
            for (int i = 0; i <= lastPieceIndex[colour]; ++i) {
                const std::vector<int> m = man(pieceList[colour][i]);
                sum += m[Value] + m[Duty] + m[Mobility] + m[Hanging];
            }
            EXPECT_EQ(totals.total[colour] - sum, colour == White ? white : black) << fen;
        }
    }
}

TEST_F(PiecesTest, KingShelter) {
    load("6k1/5ppp/8/8/8/8/5PPP/6K1 w - -");
    EXPECT_EQ(kingShelter(sq("h8"), Black), 20);  // two squares and two files on the edge
    EXPECT_EQ(kingShelter(sq("g7"), White), 0);   // too far up for cover; the files are all held
    load("6k1/5ppp/8/8/8/5P2/7P/6K1 w - -");
    EXPECT_EQ(kingShelter(sq("g1"), White), 5 + 10 - 15);
    EXPECT_EQ(kingShelter(sq("g8"), Black), 30 - 8);
    // Position, phase, evaluateKingShelter for White.
    const std::tuple<const char*, int, int> rows[] = {
        {"6k1/5ppp/8/8/6PP/5P2/8/6K1 w - -", 7, (10 - 7) * (5 - 30) / 10},
        {"6k1/5ppp/8/8/8/8/5P1P/6K1 w - -", 4, (10 - 4) * (5 - 22) / 10},
        // Castling rights: half the cover where the king stands, plus a quarter of g1's.
        {"4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w K -", 0, (30 / 2 + 30 / 4) - 30},
        {"4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w Q -", 0, 30 / 2 - 30},
        {"4k3/8/8/8/8/8/8/4K3 w K -", 0, (-69 / 2 + -69 / 4) + 69},  // truncation towards zero
    };
    for (const auto& [fen, phase, expected] : rows) {
        load(fen, phase);
        kingShelterCache[kingShelterKey() & 1023].key = ~kingShelterKey();
        EXPECT_EQ(evaluateKingShelter(White), expected) << fen;
        EXPECT_EQ(evaluateKingShelter(Black), -expected) << fen;  // now from the cache
    }
}

TEST_F(PiecesTest, ShelterCacheIsExactlyKeyed) {
    load("6k1/5ppp/8/8/8/8/5P1P/6K1 w - -", 0);
    const uint32_t key = kingShelterKey();
    KingShelterEntry& slot = kingShelterCache[key & 1023];
    slot = {key ^ 1024, 777};  // same slot, another key
    EXPECT_EQ(evaluateKingShelter(White), -17);
    slot.value = 500;  // the exact key, now stored, is trusted
    EXPECT_EQ(evaluateKingShelter(White), 500);
    // The key follows kings, pawns and rights.
    for (const char* fen : {"6k1/5ppp/8/8/8/8/5P1P/5K2 w - -", "6k1/5ppp/8/8/8/8/5PP1/6K1 w - -",
                            "6k1/5ppp/8/8/8/8/5P1P/6K1 w k -"}) {
        load(fen);
        EXPECT_NE(kingShelterKey(), key) << fen;
    }
}

// Random boards, ranks reversed and colours, rights and castled flags exchanged:
// the other side to move sees the same piece terms and shelter.
TEST_F(PiecesTest, ColourMirrorScoresAlike) {
    auto scores = [](const std::vector<SquareState>& b, int rights, int castled, int side) {
        clearBoard();
        std::copy(b.begin(), b.end(), board);
        testboard::rebuildDerived();
        castleRights = rights;
        hasCastled[White] = castled & 1;
        hasCastled[Black] = castled >> 1;
        gamePhase = computeGamePhase();
        evaluatePawnStructure(side);
        return std::make_pair(evaluatePieces(side, 0), evaluateKingShelter(side));
    };
    std::mt19937 rng(11);
    const int kinds[] = {Pawn, Pawn, Pawn, Knight, Bishop, Rook, Queen};
    for (int i = 0; i < 400;) {
        std::vector<SquareState> b(64, SquareState{NoPiece, NoColour}), m = b;
        const int wk = int(rng() % 64), bk = int(rng() % 64);
        if (distance[wk][bk] < 2) continue;
        b[wk] = {King, White};
        b[bk] = {King, Black};
        for (int colour : {White, Black})
            for (int n = int(rng() % 13); n > 0; --n) {
                const int piece = kinds[rng() % 7], s = piece == Pawn ? 8 + int(rng() % 48) : int(rng() % 64);
                if (b[s].colour == NoColour) b[s] = {piece, colour};
            }
        for (int s = 0; s < 64; ++s)
            if (b[s].colour != NoColour) m[s ^ 56] = {b[s].piece, b[s].colour ^ 1};
        const int rights = int(rng() % 16), castled = int(rng() % 4), side = int(rng() % 2);
        const auto original = scores(b, rights, castled, side);
        ASSERT_EQ(scores(m, (rights >> 2) | ((rights & 3) << 2), (castled >> 1) | ((castled & 1) << 1), side ^ 1),
                  original)
            << "case " << i;
        ++i;
    }
}

}  // namespace
