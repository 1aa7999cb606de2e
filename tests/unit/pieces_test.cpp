#include "eval/pieces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
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

class PiecesTest : public BoardFixture {
protected:
    // Position with its pawn fields and ply-0 attack maps; phase < 0 keeps the material's.
    int load(const char* fen, int phase = -1) {
        const int side = setupPosition(pos, fen);
        EXPECT_GE(side, 0) << fen;
        ev.gamePhase = computeGamePhase(pos);
        ev.evaluatePawnStructure(side);
        if (phase >= 0) ev.gamePhase = phase;
        pos.computeAttacks(White, pos.attackTables[0][White]);
        pos.computeAttacks(Black, pos.attackTables[0][Black]);
        return side;
    }
    // One man's own score and what it left in the accumulators, by Field.
    std::vector<int> man(Square s) {
        const int own = pos.board[s].colour, enemy = own ^ 1;
        ev.beginScoringColour(own, 0);
        int v = 0;
        switch (pos.board[s].piece) {
            case Pawn: v = ev.evaluatePawnMan(s, own, enemy); break;
            case Knight: v = ev.evaluateKnight(s, own, enemy); break;
            case Bishop: v = ev.evaluateBishop(s, own, enemy); break;
            case Rook: v = ev.evaluateRook(s, own, enemy); break;
            case Queen: v = ev.evaluateQueen(s, own, enemy); break;
            default: v = ev.evaluateKing(s, own, enemy);
        }
        return {v, ev.dutySum, ev.mobilitySum, ev.hangingSum};
    }
};

TEST_F(PiecesTest, WorkedManScores) {
    const std::map<std::string, Field> fields = {
        {"value", Value}, {"duty", Duty}, {"mobility", Mobility}, {"hanging", Hanging}};
    for (const DataRow& r : dataRows("pieces_men.txt")) {
        load(r[0].c_str(), int(num(r[2])));
        EXPECT_EQ(man(sq(r[1].c_str()))[fields.at(r[3])], num(r[4])) << r[0] << " " << r[1] << " " << r[3];
    }
}

TEST_F(PiecesTest, CastlingStateOfTheKing) {
    for (int phase : {0, 5, 10}) {
        load("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq -", phase);
        const int withRights = man(sq("e1"))[Value];
        pos.hasCastled[White] = 1;
        EXPECT_EQ(man(sq("e1"))[Value] - withRights, 10 - phase);
        pos.hasCastled[White] = 0;
        pos.castleRights = BlackShort | BlackLong;
        EXPECT_EQ(man(sq("e1"))[Value] - withRights, -40 / (phase + 1));
        pos.castleRights = WhiteLong;
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
        ev.evaluatePiecesByColour(0, totals);
        for (int colour : {White, Black}) {
            int sum = 0;
            for (int i = 0; i <= pos.lastPieceIndex[colour]; ++i) {
                const std::vector<int> m = man(pos.pieceList[colour][i]);
                sum += m[Value] + m[Duty] + m[Mobility] + m[Hanging];
            }
            EXPECT_EQ(totals.total[colour] - sum, colour == White ? white : black) << fen;
        }
    }
}

TEST_F(PiecesTest, KingShelter) {
    load("6k1/5ppp/8/8/8/8/5PPP/6K1 w - -");
    EXPECT_EQ(ev.kingShelter(sq("h8"), Black), 20);  // two squares and two files on the edge
    EXPECT_EQ(ev.kingShelter(sq("g7"), White), 0);   // too far up for cover; the files are all held
    load("6k1/5ppp/8/8/8/5P2/7P/6K1 w - -");
    EXPECT_EQ(ev.kingShelter(sq("g1"), White), 0);
    EXPECT_EQ(ev.kingShelter(sq("g8"), Black), 22);
    // Position, phase, evaluateKingShelter for White.
    const std::tuple<const char*, int, int> rows[] = {
        {"6k1/5ppp/8/8/6PP/5P2/8/6K1 w - -", 7, -7},
        {"6k1/5ppp/8/8/8/8/5P1P/6K1 w - -", 4, -10},
        // Castling rights: half the cover where the king stands, plus a quarter of g1's.
        {"4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w K -", 0, -8},
        {"4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w Q -", 0, -15},
        {"4k3/8/8/8/8/8/8/4K3 w K -", 0, 18},  // -34 - 17 + 69: truncation towards zero
    };
    for (const auto& [fen, phase, expected] : rows) {
        load(fen, phase);
        ev.kingShelterCache[ev.kingShelterKey() & 1023].key = ~ev.kingShelterKey();
        EXPECT_EQ(ev.evaluateKingShelter(White), expected) << fen;
        EXPECT_EQ(ev.evaluateKingShelter(Black), -expected) << fen;  // now from the cache
    }
}

TEST_F(PiecesTest, ShelterCacheIsExactlyKeyed) {
    load("6k1/5ppp/8/8/8/8/5P1P/6K1 w - -", 0);
    const uint32_t key = ev.kingShelterKey();
    KingShelterEntry& slot = ev.kingShelterCache[key & 1023];
    slot = {key ^ 1024, 777};  // same slot, another key
    EXPECT_EQ(ev.evaluateKingShelter(White), -17);
    slot.value = 500;  // the exact key, now stored, is trusted
    EXPECT_EQ(ev.evaluateKingShelter(White), 500);
    // The key follows kings, pawns and rights.
    for (const char* fen : {"6k1/5ppp/8/8/8/8/5P1P/5K2 w - -", "6k1/5ppp/8/8/8/8/5PP1/6K1 w - -",
                            "6k1/5ppp/8/8/8/8/5P1P/6K1 w k -"}) {
        load(fen);
        EXPECT_NE(ev.kingShelterKey(), key) << fen;
    }
}

}  // namespace
