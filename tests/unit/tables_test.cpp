#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "board/board.h"
#include "board/tables.h"
#include "test_board.h"

namespace {

std::vector<int> squares(std::initializer_list<const char*> names) {
    std::vector<int> out;
    for (const char* n : names) out.push_back(sq(n));
    return out;
}

// Order-sensitive digest of a key table, to pin every key.
template <class T>
uint64_t digest(const T* keys, size_t count) {
    uint64_t h = 0;
    for (size_t i = 0; i < count; ++i) h = h * 0x100000001b3ull + keys[i];
    return h;
}

// Follows next[origin] as the generators do, switching to skip[origin] after
// an occupied square (for sliders: on to the next ray).
std::vector<int> follow(const uint8_t (&next)[64][64], const uint8_t (&skip)[64][64], int o) {
    std::vector<int> seen;
    for (int s = next[o][o]; s != o && seen.size() < 64; s = isEmpty(s) ? next[o][s] : skip[o][s])
        seen.push_back(s);
    return seen;
}

TEST(Tables, WalksAndGeometry) {
    initTables();
    clearBoard();
    auto walk = [](int t, const char* o) { return follow(nextSquare[t], nextDirection[t], sq(o)); };
    auto takes = [](int t, const char* o) {
        return follow(nextDirection[t], nextDirection[t], sq(o));
    };
    EXPECT_EQ(walk(Knight, "a1"), squares({"c2", "b3"}));
    // Pawns: pushes in nextSquare, captures in nextDirection.
    EXPECT_EQ(walk(Pawn, "a2"), squares({"a3", "a4"}));
    EXPECT_EQ(takes(Pawn, "a2"), squares({"b3"}));
    EXPECT_EQ(walk(Pawn, "h7"), squares({"h8"}));
    EXPECT_EQ(takes(Pawn, "e2"), squares({"d3", "f3"}));
    EXPECT_EQ(walk(BlackPawnType, "e7"), squares({"e6", "e5"}));
    EXPECT_EQ(takes(BlackPawnType, "e7"), squares({"f6", "d6"}));  // towards the h-file first
    EXPECT_EQ(takes(BlackPawnType, "a7"), squares({"b6"}));

    // Only real targets, as many as there are; one-square rays list the same
    // squares in both tables.
    const int expected[7] = {0, 0, 336, 560, 896, 1456, 420};
    for (int t = Knight; t <= King; ++t) {
        int total = 0;
        for (int o = 0; o < 64; ++o) {
            const auto seen = follow(nextSquare[t], nextDirection[t], o);
            total += int(seen.size());
            const auto& d = nextDirection[t];
            EXPECT_EQ(seen, t == Knight || t == King ? follow(d, d, o) : seen);
            for (int s : seen) EXPECT_TRUE(t == Knight ? knightJump[o][s] : lineTable[o][s].kind);
        }
        EXPECT_EQ(total, expected[t]) << "type " << t;
    }
    putMan(sq("d1"), Knight, Black);
    putMan(sq("a3"), Pawn, White);
    putMan(sq("c3"), Bishop, White);
    EXPECT_EQ(walk(Rook, "a1"), squares({"b1", "c1", "d1", "a2", "a3"}));
    EXPECT_EQ(walk(Queen, "a1"), squares({"b1", "c1", "d1", "a2", "a3", "b2", "c3"}));
    EXPECT_EQ(walk(King, "a1"), squares({"b1", "a2", "b2"}));

    int lines = 0, jumps = 0;
    for (int a = 0; a < 64; ++a)
        for (int b = 0; b < 64; ++b) {
            const LineEntry e = lineTable[a][b];
            EXPECT_EQ(e.step, -lineTable[b][a].step);
            jumps += knightJump[a][b];
            if (e.kind) {  // a step that wraps round the edge breaks the distance
                ++lines;
                EXPECT_EQ(distance[a][b], (b - a) / e.step);
                EXPECT_EQ(e.kind, std::abs(e.step) == 1 || std::abs(e.step) == 8 ? 4 : 3);
            }
        }
    EXPECT_EQ(lines, 896 + 560);
    EXPECT_EQ(jumps, 336);  // also pins the colour pattern the jumps are built from
}

TEST(Tables, KeysAreDrawnInTheFixedOrder) {
    initTables();
    // The first draws are S[54] + S[23] and S[53] + S[22] (mod 2^32): the low
    // and high word of the first piece key.
    EXPECT_EQ(uint32_t(pieceKey[0][0][0]), 2393861397u + 1961600170u);
    EXPECT_EQ(uint32_t(pieceKey[0][0][0] >> 32), 384606609u + 832845075u);
    // Regression guards for every key: the book file depends on them.
    EXPECT_EQ(digest(&pieceKey[0][0][0], 2 * 8 * 64), 14415486424098596916ull);
    EXPECT_EQ(digest(castleKey, 16), 4069006671159361264ull);
    EXPECT_EQ(digest(epKey, 64), 1213145826335663367ull);
    EXPECT_EQ(digest(&pawnKey[0][0], 2 * 64), 15761034168356470301ull);

    setupPosition("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    // Regression guard: the book file is keyed by this value.
    EXPECT_EQ(computeHashKey(White), 0x8ea61d4b58123e4aull);
    EXPECT_EQ(computeHashKey(Black), 0x8ea61d4b58123e4bull);
    epSquare = sq("e3");
    castleRights = 0;
    setEmpty(sq("e2"));
    const uint64_t key = computeHashKey(White);
    EXPECT_EQ(key, (0x8ea61d4b58123e4aull ^ epKey[sq("e3")] ^ castleKey[0] ^
                    pieceKey[White][Pawn][sq("e2")]) & ~1ull);
    initTables();  // keys are drawn once per process
    EXPECT_EQ(computeHashKey(White), key);
}

}  // namespace
