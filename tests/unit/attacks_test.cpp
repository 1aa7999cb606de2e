#include "board/attacks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <utility>

#include "board/board.h"
#include "board/tables.h"
#include "test_board.h"

namespace {

class AttacksTest : public BoardFixture {};

// One attacker of each kind, as it adds to an attack word; X is a count-only x-ray.
constexpr uint32_t P = 0x10000001, N = 0x1000001, B = 0x100001, R = 0x10001, Q = 0x1001, K = 0x101, X = 1;
constexpr const char* Letters = "PNBRQKx";
constexpr uint32_t Units[] = {P, N, B, R, Q, K, X};

TEST_F(AttacksTest, StaticExchange) {
    auto word = [](const std::string& kinds) {
        uint32_t w = 0;
        for (char c : kinds)
            if (const char* at = std::strchr(Letters, c); at && c) w += Units[at - Letters];
        return w;
    };
    for (const DataRow& r : dataRows("static_exchange.txt"))
        EXPECT_EQ(staticExchange(0, int(num(r[0])), word(r[1]), word(r[2])), num(r[3])) << r[1] << " vs " << r[2];
}

// An independent reference by coordinates, checked on random positions.

constexpr int DF[16] = {1, -1, 0, 0, 1, -1, 1, -1, 1, 2, 2, 1, -1, -2, -2, -1};
constexpr int DR[16] = {0, 0, 1, -1, 1, 1, -1, -1, 2, 1, -1, -2, -2, -1, 1, 2};
// Direction ranges by piece: rook 0-3, bishop 4-7, knight 8-15; a white pawn uses 4-5, a black one 6-7.
constexpr int FirstDir[7] = {0, 4, 8, 4, 0, 0, 0}, EndDir[7] = {0, 6, 16, 8, 4, 8, 8};

// Attack words under the counting rules; `direct` gives the plain
// attacked-by answer instead (no kings, no x-rays, nothing transparent).
void reference(const Position& pos, int colour, uint32_t* out, bool direct) {
    std::fill(out, out + 64, 0u);
    const int enemyKing = direct ? -1 : pos.pieceList[colour ^ 1][0];
    auto occupied = [&](int s) { return s != enemyKing && pos.board[s].colour != NoColour; };
    auto step = [](int s, int d) {
        const int f = fileOf(s) + DF[d], r = rankOf(s) + DR[d];
        return f >= 0 && f < 8 && r >= 0 && r < 8 ? r * 8 + f : -1;
    };
    for (int s = 0; s < 64; ++s) {
        const int piece = pos.board[s].piece;
        if (pos.board[s].colour != colour || (direct && piece == King)) continue;
        const bool slider = piece == Bishop || piece == Rook || piece == Queen;
        const int first = FirstDir[piece] + (piece == Pawn && colour == Black ? 2 : 0);
        for (int d = first; d < first + EndDir[piece] - FirstDir[piece]; ++d) {
            int t = step(s, d);
            for (; t >= 0; t = slider ? step(t, d) : -1) {
                out[t] += attackWeight[piece] + 1;
                if (occupied(t)) break;
            }
            if (!slider || t < 0 || direct || pos.board[t].colour != colour) continue;
            if (pos.board[t].piece == Queen || (d < 4 && pos.board[t].piece == Rook))
                for (t = step(t, d); t >= 0; t = occupied(t) ? -1 : step(t, d)) out[t] += 1;
        }
    }
    if (direct) return;
    const uint32_t kinds = out[enemyKing] & ~0xFFu;
    if ((out[enemyKing] & 0xFF) > 1 && (kinds == B - 1 || kinds == R - 1 || kinds == Q - 1)) out[enemyKing] = kinds + 1;
}

TEST_F(AttacksTest, RandomPositionsAgreeWithCoordinateReference) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> square(0, 63), kind(Pawn, Queen);
    for (int round = 0; round < 400; ++round) {
        pos.clearBoard();
        const int whiteKing = square(rng);
        pos.putMan(whiteKing, King, White);
        pos.putMan((whiteKing + 1 + int(rng() % 63)) % 64, King, Black);
        for (int n = int(rng() % 25); n > 0; --n) {
            const int s = square(rng), piece = kind(rng);
            if (pos.isEmpty(s) && (piece != Pawn || rankOf(s) % 7 != 0)) pos.putMan(s, piece, n & 1);
        }
        testboard::rebuildDerived(pos);
        SquareState before[64];
        std::memcpy(before, pos.board, sizeof pos.board);
        for (int colour = White; colour <= Black; ++colour) {
            uint32_t fast[64], slow[64], plain[64];
            pos.computeAttacks(colour, fast);
            ASSERT_EQ(std::memcmp(before, pos.board, sizeof pos.board), 0) << "enemy king left transparent";
            reference(pos, colour, slow, false);
            reference(pos, colour, plain, true);
            for (int s = 0; s < 64; ++s) {
                const int quick = colour == White ? pos.isAttackedByWhite(s) : pos.isAttackedByBlack(s);
                ASSERT_EQ(std::make_pair(fast[s], quick), std::make_pair(slow[s], int(plain[s] != 0)))
                    << "round " << round << " colour " << colour << " square " << s;
            }
        }
    }
}

}  // namespace
