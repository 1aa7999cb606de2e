#include <gtest/gtest.h>

#include "search/tt.h"

namespace {

// Keys with the same low word share a bucket but are different positions.
constexpr uint64_t keyIn(uint32_t low, uint32_t high) { return uint64_t(high) << 32 | low; }

// The score on a hit, else Miss; the move is handed out either way.
constexpr int Miss = 12345;
Move probedMove;
int probe(uint64_t key, int bound, int ply, int horizon) {
    int score = Miss;
    probedMove = 0;
    const bool hit = ttProbe(key, bound, ply, horizon, score, probedMove);
    EXPECT_TRUE(hit || score == Miss) << "a miss leaves the score alone";
    return hit ? score : Miss;
}

class TTTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ttResize(64), 64); }  // 2048 buckets
};

TEST_F(TTTest, SizingClearAndGenerations) {
    // The largest power of two of 32-byte buckets that fits.
    const std::pair<uint32_t, uint32_t> sizes[] = {{3 * 1024, 65536}, {4096, 131072}, {1, 32}};
    for (auto [kb, buckets] : sizes) {
        EXPECT_EQ(ttResize(kb), int(kb));
        EXPECT_EQ(transpositionTable.mask + 1, buckets);
    }
    EXPECT_EQ(ttResize(0), 0);  // no change
    EXPECT_EQ(transpositionTable.mask + 1, 32u);

    // Generation 0 marks empty slots, so the count wraps from 255 to 1.
    for (int i = 0; i < 254; ++i) ttNewSearch();
    EXPECT_EQ(transpositionTable.generation.load(), 255);
    ttNewSearch();
    EXPECT_EQ(transpositionTable.generation.load(), 1);
    ttStore(keyIn(6, 1), 0, 0, 4, 11, 0x21);
    ttNewSearch();
    EXPECT_EQ(probe(keyIn(6, 1), 0, 0, 4), 11);  // older entries stay usable
    ASSERT_EQ(ttClear(), 1);
    EXPECT_EQ(transpositionTable.generation.load(), 1);
    EXPECT_EQ(ttBestMove(keyIn(6, 1)), 0u);

    ttRelease();
    EXPECT_EQ(ttResize(0), -1);
    EXPECT_EQ(ttClear(), 0);
    EXPECT_EQ(ttBestMove(42), 0u);
}

TEST_F(TTTest, ProbeBoundsAndDepth) {
    const uint64_t key = keyIn(10, 0xabc);
    ttStore(key, 50, 2, 6, 50, 0x123);  // exact, searched 4 deep
    EXPECT_EQ(probe(key, -999, 2, 6), 50);
    EXPECT_EQ(probe(key, 0, 1, 6), Miss);  // asked for more depth
    EXPECT_EQ(probedMove, 0x123u);

    ttStore(key, 40, 2, 6, 60, 0x124);  // lower bound: hits strictly above
    EXPECT_EQ(probe(key, 59, 2, 6), 60);
    EXPECT_EQ(probe(key, 60, 2, 6), Miss);
    ttStore(key, 40, 2, 6, 30, 0);  // upper bound: hits strictly below
    EXPECT_EQ(probe(key, 31, 2, 6), 30);
    EXPECT_EQ(probe(key, 30, 2, 6), Miss);
    EXPECT_EQ(probe(keyIn(10, 0xabd), -999, 2, 0), Miss);  // same bucket, other position
    EXPECT_EQ(probedMove, 0u);
}

TEST_F(TTTest, SlotReplacementAndFillCount) {
    const uint64_t a = keyIn(20, 1), b = keyIn(20, 2), c = keyIn(20, 3);
    const TTSlot* slot = transpositionTable.buckets[20].slot;
    // Who holds slot 0 and slot 1, slot 1's depth, and the fill count.
    auto state = [&] {
        const uint32_t filled = transpositionTable.filled;
        const TTEntry s0 = ttReadSlot(slot[0]), s1 = ttReadSlot(slot[1]);
        return std::tuple(s0.keyHigh, s1.keyHigh, s1.depth, filled);
    };
    ttStore(a, 0, 0, 8, 5, 0xa);
    ttStore(a, 0, 0, 3, 7, 0xb);  // shallower than a current slot 0: slot 1, same key or not
    EXPECT_EQ(state(), std::tuple(1u, 1u, 3, 2u));
    EXPECT_EQ(probe(a, -999, 0, 2), 5);  // slot 0 is found first
    // A new key pushes slot 0 down and drops slot 1; equal depth is not shallower.
    ttStore(b, 0, 0, 8, 9, 0xc);
    EXPECT_EQ(state(), std::tuple(2u, 1u, 8, 2u));
    ttStore(c, 0, 0, 8, 1, 0xd);
    ttStore(c, 0, 0, 9, 2, 0xe);  // same key, deeper: in place
    EXPECT_EQ(state(), std::tuple(3u, 2u, 8, 2u));

    // Next search: the depth guard only protects current entries.
    ttNewSearch();
    EXPECT_EQ(transpositionTable.filled.load(), 0u);
    ttStore(b, 0, 0, 1, 3, 0xf);
    EXPECT_EQ(state(), std::tuple(2u, 3u, 9, 1u));
    ttStore(a, 0, 0, 1, 3, 0x10);  // current slot 0 moves down and stays counted
    EXPECT_EQ(state(), std::tuple(1u, 2u, 1, 2u));
}

TEST_F(TTTest, MateScores) {
    // 29999 - 7 at ply 3 is held as 29999 - 4 and read at ply 5 as 29999 - 9.
    ttStore(keyIn(30, 9), 29999 - 7, 3, 5, 29999 - 7, 1);
    EXPECT_EQ(ttReadSlot(transpositionTable.buckets[30].slot[0]).score, 29999 - 4);
    EXPECT_EQ(probe(keyIn(30, 9), 0, 5, 0), 29999 - 9);

    // Wins that are exact or lower bounds, losses that are exact or upper
    // bounds, hold at any depth (+64); the other directions do not.
    const int cases[][3] = {{29990, 29990, 1},   {29000, 29990, 1},   {29995, 29990, 0},
                            {-29990, -29990, 1}, {-29000, -29990, 1}, {-29995, -29990, 0},
                            {0, 500, 0}};
    for (auto [bound, score, proven] : cases) {
        ttStore(keyIn(40, 7), bound, 2, 4, score, 0);
        EXPECT_EQ(ttReadSlot(transpositionTable.buckets[40].slot[0]).depth, proven ? 66 : 2) << bound;
        EXPECT_EQ(probe(keyIn(40, 7), score > 0 ? score - 10 : score + 10, 2, 68),
                  proven ? score : Miss) << bound << " " << score;
        ttNewSearch();  // the next store replaces this one
    }
}

// Two threads writing one slot at once can leave one entry's key word beside
// another's data word (the same position stored twice, or two positions of
// the bucket): such a slot answers for neither, not even with its move.
// (Halves of equal data make a whole entry, not a torn one.)
TEST_F(TTTest, TornEntriesAreNeverTrusted) {
    struct Write {
        uint64_t key;
        int score, depth;
        Move move;
    };
    const std::pair<Write, Write> pairs[] = {
        {{keyIn(50, 7), 40, 6, 0x123}, {keyIn(50, 7), -12, 9, 0x456}},         // one position, two results
        {{keyIn(50, 7), 40, 6, 0x123}, {keyIn(50, 8), 41, 6, 0x123}},          // two positions
        {{keyIn(50, 7), 29990, 70, 0x0e1c}, {keyIn(50, 0x80000007), 0, 1, 0}}  // a mate beside an empty move
    };
    for (const auto& [x, y] : pairs) {
        TTSlot& s = transpositionTable.buckets[50].slot[0];
        ttStore(x.key, x.score, 0, x.depth, x.score, x.move);
        const uint64_t checkX = s.check.load(), dataX = s.data.load();
        ASSERT_EQ(probe(x.key, -30000, 0, 0), x.score);
        ttClear();
        ttStore(y.key, y.score, 0, y.depth, y.score, y.move);
        const uint64_t checkY = s.check.load(), dataY = s.data.load();
        for (auto [check, data] : {std::pair{checkX, dataY}, {checkY, dataX}}) {
            for (TTSlot& slot : transpositionTable.buckets[50].slot) {
                slot.check.store(check);
                slot.data.store(data);
            }
            for (uint64_t key : {x.key, y.key}) {
                EXPECT_EQ(probe(key, -30000, 0, 0), Miss) << std::hex << key;
                EXPECT_EQ(probedMove, 0u);
                EXPECT_EQ(ttBestMove(key), 0u);
            }
        }
        ttClear();
    }
}

// Counted over the first thousand entries of the current search; a table
// of fewer than a thousand entries reports nothing.
TEST_F(TTTest, Hashfull) {
    for (auto [kb, passes, full] : {std::tuple{15u, 1, 0}, {16u, 2, 1000}, {4096u, 1, 500}}) {
        ASSERT_EQ(ttResize(kb), int(kb));
        for (uint32_t high = 1; high <= uint32_t(passes); ++high)
            for (uint32_t i = 0; i <= transpositionTable.mask; ++i) ttStore(keyIn(i, high), 0, 0, 1, 0, 0);
        EXPECT_EQ(ttHashfull(), full) << kb;
    }
    ttNewSearch();
    EXPECT_EQ(ttHashfull(), 0);
}

}  // namespace
