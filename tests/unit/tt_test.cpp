#include <gtest/gtest.h>

#include "search/tt.h"

namespace {

// Keys with the same low word share a bucket but are different positions.
constexpr uint64_t keyIn(uint32_t low, uint32_t high) { return uint64_t(high) << 32 | low; }

class TTTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ttResize(64), 64); }  // 2048 buckets
    void TearDown() override { ttRelease(); }

    static const TTBucket& bucketOf(uint64_t key) {
        return transpositionTable.buckets[uint32_t(key) & transpositionTable.mask];
    }
    struct Probe {
        bool hit;
        int score;
        Move move;
    };
    static Probe probe(uint64_t key, int bound, int ply, int horizon) {
        Probe p{false, 12345, 0};
        p.hit = ttProbe(key, bound, ply, horizon, p.score, p.move);
        return p;
    }
};

TEST_F(TTTest, Sizing) {
    // Hash 3, 4 (the default) and 1024 MB; the last, 1 KB, is 32 buckets.
    const std::pair<uint32_t, uint32_t> sizes[] = {
        {3 * 1024, 65536}, {4096, 131072}, {1024 * 1024, 1u << 25}, {1, 32}};
    for (auto [kb, buckets] : sizes) {
        EXPECT_EQ(ttResize(kb), int(kb));
        EXPECT_EQ(transpositionTable.mask + 1, buckets);
        EXPECT_EQ(transpositionTable.generation, 1);
    }
    EXPECT_EQ(ttResize(0), 0);  // no change
    EXPECT_EQ(transpositionTable.mask + 1, 32u);
    ttStore(keyIn(6, 1), 0, 0, 3, 10, 77);
    ASSERT_EQ(ttResize(1), 1);  // same size, contents still lost
    EXPECT_EQ(ttBestMove(keyIn(6, 1)), 0u);

    ttRelease();
    EXPECT_EQ(ttResize(0), -1);
    EXPECT_EQ(ttClear(), 0);
    EXPECT_EQ(ttBestMove(42), 0u);
}

TEST_F(TTTest, ProbeBoundsAndDepth) {
    const uint64_t key = keyIn(10, 0xabc);
    ttStore(key, 50, 2, 6, 50, 0x123);
    EXPECT_EQ(bucketOf(key).slot[0].type, 1);
    EXPECT_EQ(bucketOf(key).slot[0].depth, 4);
    Probe p = probe(key, -999, 3, 6);
    EXPECT_TRUE(p.hit);
    EXPECT_EQ(p.score, 50);
    // Stored search too shallow: a miss that still hands out the move.
    p = probe(key, 0, 1, 6);
    EXPECT_FALSE(p.hit);
    EXPECT_EQ(p.score, 12345);
    EXPECT_EQ(p.move, 0x123u);

    ttStore(key, 40, 2, 6, 60, 0x124);  // lower bound: hits strictly above
    EXPECT_EQ(bucketOf(key).slot[0].type, 3);
    EXPECT_TRUE(probe(key, 59, 2, 6).hit);
    p = probe(key, 60, 2, 6);
    EXPECT_FALSE(p.hit);
    EXPECT_EQ(p.move, 0x124u);
    ttStore(key, 40, 2, 6, 30, 0);  // upper bound: hits strictly below
    EXPECT_EQ(bucketOf(key).slot[0].type, 2);
    EXPECT_TRUE(probe(key, 31, 2, 6).hit);
    EXPECT_FALSE(probe(key, 30, 2, 6).hit);

    p = probe(keyIn(10, 0xabd), -999, 2, 0);  // same bucket, other position
    EXPECT_FALSE(p.hit);
    EXPECT_EQ(p.move, 0u);
}

TEST_F(TTTest, SlotReplacementAndFillCount) {
    const uint64_t a = keyIn(20, 1), b = keyIn(20, 2), c = keyIn(20, 3);
    const TTBucket& bucket = bucketOf(a);
    auto highs = [&] { return std::pair{bucket.slot[0].keyHigh, bucket.slot[1].keyHigh}; };
    ttStore(a, 0, 0, 8, 5, 0xa);
    // Shallower than a current slot 0, same position or not: slot 1.
    ttStore(a, 0, 0, 3, 7, 0xb);
    EXPECT_EQ(highs(), std::pair(1u, 1u));
    EXPECT_EQ(bucket.slot[1].depth, 3);
    EXPECT_EQ(probe(a, -999, 0, 2).score, 5);  // slot 0 is found first
    EXPECT_EQ(transpositionTable.filled, 2u);

    // A new key pushes slot 0 down and drops slot 1; equal depth is not shallower.
    ttStore(b, 0, 0, 8, 9, 0xc);
    EXPECT_EQ(highs(), std::pair(2u, 1u));
    EXPECT_EQ(bucket.slot[1].depth, 8);
    ttStore(c, 0, 0, 8, 1, 0xd);
    EXPECT_EQ(highs(), std::pair(3u, 2u));
    EXPECT_EQ(ttBestMove(a), 0u);
    EXPECT_EQ(ttBestMove(b), 0xcu);
    ttStore(c, 0, 0, 9, 2, 0xe);  // same key, deeper: in place
    EXPECT_EQ(highs(), std::pair(3u, 2u));
    EXPECT_EQ(transpositionTable.filled, 2u);

    // Next search: the depth guard only protects current entries.
    ttNewSearch();
    EXPECT_EQ(transpositionTable.filled, 0u);
    ttStore(b, 0, 0, 1, 3, 0xf);
    EXPECT_EQ(highs(), std::pair(2u, 3u));
    EXPECT_EQ(transpositionTable.filled, 1u);
    ttStore(a, 0, 0, 1, 3, 0x10);  // current slot 0 moves down and stays counted
    EXPECT_EQ(highs(), std::pair(1u, 2u));
    EXPECT_EQ(transpositionTable.filled, 2u);
}

TEST_F(TTTest, MateScores) {
    // 29999 - 7 at ply 3 is held as 29999 - 4 and read at ply 5 as 29999 - 9.
    const uint64_t key = keyIn(30, 9);
    ttStore(key, 29999 - 7, 3, 5, 29999 - 7, 1);
    EXPECT_EQ(bucketOf(key).slot[0].score, 29999 - 4);
    EXPECT_EQ(probe(key, 0, 5, 0).score, 29999 - 9);

    // Wins that are exact or lower bounds, losses that are exact or upper
    // bounds, hold at any depth (+64); the other directions do not.
    struct Case {
        int bound, score;
        bool proven;
    } cases[] = {{29990, 29990, true},   {29000, 29990, true},   {29995, 29990, false},
                 {-29990, -29990, true}, {-29000, -29990, true}, {-29995, -29990, false},
                 {0, 500, false}};
    uint32_t low = 40;
    for (const Case& c : cases) {
        const uint64_t k = keyIn(low += 2, 7);
        ttStore(k, c.bound, 2, 4, c.score, 0);
        EXPECT_EQ(bucketOf(k).slot[0].depth, c.proven ? 66 : 2) << c.bound << " " << c.score;
        const Probe p = probe(k, c.score > 0 ? c.score - 10 : c.score + 10, 2, 60);
        EXPECT_EQ(p.hit, c.proven) << c.bound << " " << c.score;
        if (c.proven) {
            EXPECT_EQ(p.score, c.score);
        }
    }
}

TEST_F(TTTest, GenerationsAndClear) {
    for (int i = 0; i < 254; ++i) ttNewSearch();
    EXPECT_EQ(transpositionTable.generation, 255);
    ttNewSearch();
    EXPECT_EQ(transpositionTable.generation, 1);
    ttStore(keyIn(50, 1), 0, 0, 4, 11, 0x21);
    ttNewSearch();
    EXPECT_TRUE(probe(keyIn(50, 1), 0, 0, 4).hit);  // older entries stay usable

    ASSERT_EQ(ttClear(), 1);
    EXPECT_EQ(transpositionTable.generation, 1);
    EXPECT_FALSE(probe(keyIn(50, 1), 0, 0, 0).hit);
}

TEST_F(TTTest, Hashfull) {
    ASSERT_EQ(ttResize(15), 15);  // 256 buckets: too small to report
    ttStore(keyIn(0, 1), 0, 0, 1, 0, 0);
    EXPECT_EQ(ttHashfull(), 0);
    ASSERT_EQ(ttResize(16), 16);  // 512 buckets
    ttStore(keyIn(0, 1), 0, 0, 1, 0, 0);
    EXPECT_EQ(ttHashfull(), 1);

    ASSERT_EQ(ttResize(4096), 4096);
    ttNewSearch();
    const uint32_t buckets = transpositionTable.mask + 1;
    for (uint32_t i = 0; i < buckets; ++i) {
        ttStore(keyIn(i, 1), 0, 0, 1, 0, 0);
        ttStore(keyIn(i, 2), 0, 0, 1, 0, 0);
    }
    EXPECT_EQ(ttHashfull(), 1000);
    ttNewSearch();
    EXPECT_EQ(ttHashfull(), 0);
    for (uint32_t i = 0; i < buckets; ++i) ttStore(keyIn(i, 2), 0, 0, 1, 0, 0);
    EXPECT_EQ(ttHashfull(), 500);
}

}  // namespace
