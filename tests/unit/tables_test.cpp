#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "board/board.h"
#include "board/tables.h"

namespace {

constexpr int sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }

std::vector<int> squares(std::initializer_list<const char*> names) {
    std::vector<int> out;
    for (const char* n : names) out.push_back(sq(n));
    return out;
}

// Walks as the generators do: along the ray past empty squares, to the next
// ray after an occupied one.
std::vector<int> walk(int type, int origin) {
    std::vector<int> seen;
    for (int s = nextSquare[type][origin][origin]; s != origin && seen.size() < 64;
         s = isEmpty(s) ? nextSquare[type][origin][s] : nextDirection[type][origin][s])
        seen.push_back(s);
    return seen;
}

std::vector<int> chain(const uint8_t (&table)[64], const char* origin) {
    const int o = sq(origin);
    std::vector<int> seen;
    for (int s = table[o]; s != o && seen.size() < 64; s = table[s]) seen.push_back(s);
    return seen;
}

class TablesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { initTables(); }
    void SetUp() override { clearBoard(); }
};

TEST_F(TablesTest, SliderWalks) {
    EXPECT_EQ(walk(Rook, 0), squares({"b1", "c1", "d1", "e1", "f1", "g1", "h1", "a2", "a3", "a4",
                                      "a5", "a6", "a7", "a8"}));
    putMan(sq("d1"), Knight, Black);
    putMan(sq("a3"), Pawn, White);
    EXPECT_EQ(walk(Rook, 0), squares({"b1", "c1", "d1", "a2", "a3"}));

    // Sum of targets over all origins on an empty board, no repeats.
    clearBoard();
    const int expected[7] = {0, 0, 336, 560, 896, 1456, 420};
    for (int t = Knight; t <= King; ++t) {
        int total = 0;
        for (int o = 0; o < 64; ++o) {
            auto seen = walk(t, o);
            total += int(seen.size());
            std::sort(seen.begin(), seen.end());
            EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
            for (int s : seen) EXPECT_TRUE(t == Knight ? knightJump[o][s] : lineTable[o][s].kind);
        }
        EXPECT_EQ(total, expected[t]) << "type " << t;
    }
    EXPECT_EQ(walk(Knight, 0), squares({"c2", "b3"}));
    // One-square rays: both tables list the same targets in the same order.
    for (int t : {Knight, King})
        for (int o = 0; o < 64; ++o) {
            const auto& s = nextSquare[t][o];
            const auto& d = nextDirection[t][o];
            ASSERT_EQ(s[o], d[o]);
            for (int q = s[o]; q != o; q = s[q]) ASSERT_EQ(s[q], d[q]) << t << " " << o;
        }
    EXPECT_TRUE(walk(0, sq("d4")).empty());
}

TEST_F(TablesTest, PawnChains) {
    EXPECT_EQ(chain(nextSquare[Pawn][sq("a2")], "a2"), squares({"a3", "a4"}));
    EXPECT_EQ(chain(nextDirection[Pawn][sq("a2")], "a2"), squares({"b3"}));
    EXPECT_EQ(chain(nextSquare[Pawn][sq("h7")], "h7"), squares({"h8"}));
    EXPECT_EQ(chain(nextDirection[Pawn][sq("h7")], "h7"), squares({"g8"}));
    EXPECT_EQ(chain(nextDirection[Pawn][sq("e2")], "e2"), squares({"d3", "f3"}));
    EXPECT_EQ(chain(nextSquare[BlackPawnType][sq("e7")], "e7"), squares({"e6", "e5"}));
    // Direction order -9, -11: the capture towards the h-file comes first.
    EXPECT_EQ(chain(nextDirection[BlackPawnType][sq("e7")], "e7"), squares({"f6", "d6"}));
    EXPECT_EQ(chain(nextSquare[BlackPawnType][sq("e2")], "e2"), squares({"e1"}));
    EXPECT_EQ(chain(nextDirection[BlackPawnType][sq("a7")], "a7"), squares({"b6"}));
    EXPECT_TRUE(chain(nextSquare[Pawn][sq("d8")], "d8").empty());
}

TEST_F(TablesTest, GeometryTables) {
    EXPECT_EQ(distance[0][63], 7);
    EXPECT_EQ(knightJump[sq("b1")][sq("c3")], 1);
    EXPECT_EQ(knightJump[sq("b1")][sq("d2")], 1);
    EXPECT_EQ(knightJump[sq("b1")][sq("b3")], 0);
    EXPECT_EQ(knightJump[sq("a1")][sq("c3")], 0);
    auto line = [](const char* a, const char* b) {
        const LineEntry e = lineTable[sq(a)][sq(b)];
        return std::make_pair(e.kind, e.step);
    };
    EXPECT_EQ(line("h1", "a8"), std::make_pair(3, 7));
    EXPECT_EQ(line("a1", "h8"), std::make_pair(3, 9));
    EXPECT_EQ(line("a1", "b3"), std::make_pair(0, 0));
    EXPECT_EQ(line("e4", "e1"), std::make_pair(4, -8));
    EXPECT_EQ(line("h1", "a2"), std::make_pair(0, 0));  // no wrap round the edge

    int lines = 0, jumps = 0;
    for (int a = 0; a < 64; ++a)
        for (int b = 0; b < 64; ++b) {
            const LineEntry e = lineTable[a][b];
            EXPECT_EQ(e.step, -lineTable[b][a].step);
            jumps += knightJump[a][b];
            if (e.kind) {
                ++lines;
                EXPECT_EQ(distance[a][b], (b - a) / e.step);
            }
        }
    EXPECT_EQ(lines, 896 + 560);
    EXPECT_EQ(jumps, 336);
    for (int s = 0; s < 64; ++s) EXPECT_EQ(squareColour[s], (fileOf(s) + rankOf(s)) % 2 == 0);
    buildDistanceTable();  // rebuilding is harmless
    EXPECT_EQ(distance[0][63], 7);
}

TEST_F(TablesTest, KeysAreDrawnInTheFixedOrder) {
    // The first draws are S[54] + S[23] and S[53] + S[22] (mod 2^32): the low
    // and high word of the first piece key.
    EXPECT_EQ(uint32_t(pieceKey[0][0][0]), 2393861397u + 1961600170u);
    EXPECT_EQ(uint32_t(pieceKey[0][0][0] >> 32), 384606609u + 832845075u);
    EXPECT_EQ(pieceKey[1][7][63], 0x484227074ea47eceull);
    EXPECT_EQ(castleKey[0], 0xbfe302b4f8dfee3cull);
    EXPECT_EQ(epKey[20], 0xc4fe62a05cd9779cull);
    EXPECT_EQ(pawnKey[White][0], 0x80df8234u);
    EXPECT_EQ(pawnKey[Black][0], 0x4017e51bu);
    EXPECT_EQ(pawnKey[Black][63], 0x23b35b8au);

    EXPECT_EQ(castleKey[15], 0u);
    for (int v = 0; v < 16; ++v) {
        uint64_t absent = 0;
        for (int bit : {1, 2, 4, 8})
            if (!(v & bit)) absent ^= castleKey[15 ^ bit];
        EXPECT_EQ(castleKey[v], absent) << v;
    }

    const uint64_t before = pieceKey[0][1][12];
    initTables();  // keys are drawn once per process
    EXPECT_EQ(pieceKey[0][1][12], before);
}

TEST_F(TablesTest, ComputeHashKey) {
    const int pieces[8] = {Rook, Knight, Bishop, Queen, King, Bishop, Knight, Rook};
    for (int f = 0; f < 8; ++f) {
        putMan(f, pieces[f], White);
        putMan(8 + f, Pawn, White);
        putMan(48 + f, Pawn, Black);
        putMan(56 + f, pieces[f], Black);
    }
    castleRights = 15;
    // Regression guard: the book file is keyed by this value.
    EXPECT_EQ(computeHashKey(White), 0x8ea61d4b58123e4aull);
    EXPECT_EQ(computeHashKey(Black), 0x8ea61d4b58123e4bull);

    const uint64_t base = computeHashKey(White);
    epSquare = sq("e3");
    castleRights = 0;
    setEmpty(sq("e2"));
    EXPECT_EQ(computeHashKey(White),
              (base ^ epKey[sq("e3")] ^ castleKey[0] ^ pieceKey[White][Pawn][sq("e2")]) & ~1ull);
}

}  // namespace
