// The walk tables and the line geometry are pinned by perft; here only the
// keys, which the opening book depends on.
#include <gtest/gtest.h>

#include "board/board.h"
#include "board/tables.h"
#include "test_board.h"

namespace {

// Order-sensitive digest of a key table.
template <class T>
uint64_t digest(const T* keys, size_t count) {
    uint64_t h = 0;
    for (size_t i = 0; i < count; ++i) h = h * 0x100000001b3ull + keys[i];
    return h;
}

TEST(Tables, KeysAreDrawnInTheFixedOrder) {
    EXPECT_EQ(digest(&pieceKey[0][0][0], 2 * 8 * 64), 14415486424098596916ull);
    EXPECT_EQ(digest(castleKey, 16), 4069006671159361264ull);
    EXPECT_EQ(digest(epKey, 64), 1213145826335663367ull);
    EXPECT_EQ(digest(&pawnKey[0][0], 2 * 64), 15761034168356470301ull);

    auto position = std::make_unique<Position>();
    Position& pos = *position;
    setupPosition(pos, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    EXPECT_EQ(pos.computeHashKey(White), 0x8ea61d4b58123e4aull);
    EXPECT_EQ(pos.computeHashKey(Black), 0x8ea61d4b58123e4bull);
    pos.epSquare = sq("e3");
    pos.castleRights = 0;
    pos.setEmpty(sq("e2"));
    const uint64_t key = pos.computeHashKey(White);
    EXPECT_EQ(key, (0x8ea61d4b58123e4aull ^ epKey[sq("e3")] ^ castleKey[0] ^ pieceKey[White][Pawn][sq("e2")]) & ~1ull);
}

}  // namespace
