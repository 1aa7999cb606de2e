#include "search/tt.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

TranspositionTable transpositionTable;

namespace {

// Frees the block at process exit, after everything that might probe it.
struct TableRelease {
    ~TableRelease() { ttRelease(); }
} tableRelease;

constexpr int ExactBound = 1, UpperBound = 2, LowerBound = 3;

inline bool matches(const TTEntry& e, uint32_t low, uint32_t high) {
    return e.keyLow == low && e.keyHigh == high;
}

}  // namespace

int ttResize(uint32_t kilobytes) {
    TranspositionTable& t = transpositionTable;
    if (kilobytes == 0) return t.buckets ? 0 : -1;
    ttRelease();

    const uint32_t limit = (kilobytes * 1024u) / uint32_t(sizeof(TTBucket));
    uint32_t count = 1;
    while (count <= limit / 2) count *= 2;

    // A bucket must never straddle two cache lines: one line fill per probe.
    t.buckets = static_cast<TTBucket*>(allocateLargeZeroed(size_t(count) * sizeof(TTBucket)));
    if (t.buckets == nullptr) return -1;
    // Touch every page now: a first touch in a search would zero a whole
    // large page there, and a short search touches nearly all of them.
    std::memset(static_cast<void*>(t.buckets), 0, size_t(count) * sizeof(TTBucket));
    t.mask = count - 1;
    t.generation = 1;
    t.filled = 0;
    return int(kilobytes);
}

int ttClear() {
    TranspositionTable& t = transpositionTable;
    if (t.buckets == nullptr) return 0;
    std::memset(static_cast<void*>(t.buckets), 0, (size_t(t.mask) + 1) * sizeof(TTBucket));
    t.generation = 1;
    return 1;
}

void ttRelease() {
    TranspositionTable& t = transpositionTable;
    releaseLarge(t.buckets, (size_t(t.mask) + 1) * sizeof(TTBucket));
    t.buckets = nullptr;
    t.mask = 0;
    t.filled = 0;
    t.generation = 0;
}

void ttNewSearch() {
    TranspositionTable& t = transpositionTable;
    // 0 marks never-written entries, so the current generation skips it.
    t.generation = t.generation >= 255 ? 1 : uint8_t(t.generation + 1);
    t.filled = 0;
}

bool ttProbe(uint64_t key, int bound, int ply, int horizon, int& score, Move& move) {
    const TranspositionTable& t = transpositionTable;
    assert(t.buckets != nullptr);
    const uint32_t low = uint32_t(key);
    const uint32_t high = uint32_t(key >> 32);
    const TTBucket& b = t.buckets[low & t.mask];
    const TTEntry* e;
    if (matches(b.slot[0], low, high))
        e = &b.slot[0];
    else if (matches(b.slot[1], low, high))
        e = &b.slot[1];
    else
        return false;

    // Mate scores are held relative to the node that stored them.
    int s = e->score;
    if (s > MateThreshold) s -= ply;
    if (s < -MateThreshold) s += ply;

    move = e->move;
    if (horizon - ply > e->depth) return false;

    bool hit;
    if (e->type == ExactBound)
        hit = true;
    else if (e->type == LowerBound)
        hit = s > bound;
    else
        hit = s < bound;
    if (hit) score = s;
    return hit;
}

void ttStore(uint64_t key, int bound, int ply, int horizon, int score, Move move) {
    TranspositionTable& t = transpositionTable;
    assert(t.buckets != nullptr);
    int s = score, x = bound, d = horizon;

    // A mate proven in the stored direction holds at any depth.
    if (s > MateThreshold) {
        x += ply;
        s += ply;
        if (s >= x) d += 64;
    }
    if (s < -MateThreshold) {
        x -= ply;
        s -= ply;
        if (s <= x) d += 64;
    }
    const int nd = d - ply;

    const uint32_t low = uint32_t(key);
    const uint32_t high = uint32_t(key >> 32);
    TTBucket& b = t.buckets[low & t.mask];
    const uint8_t g = t.generation;
    TTEntry* e;
    if (b.slot[0].generation == g && nd < b.slot[0].depth) {
        e = &b.slot[1];
    } else if (matches(b.slot[0], low, high)) {
        e = &b.slot[0];
    } else {
        const bool zeroCurrent = b.slot[0].generation == g;
        const bool oneCurrent = b.slot[1].generation == g;
        if (zeroCurrent && !oneCurrent) ++t.filled;
        // Entries counted before a wrap or a clear can fall out uncounted.
        if (!zeroCurrent && oneCurrent && t.filled > 0) --t.filled;
        b.slot[1] = b.slot[0];
        e = &b.slot[0];
    }

    e->keyLow = low;
    e->keyHigh = high;
    e->score = int16_t(s);
    e->type = uint8_t(s > x ? LowerBound : s == x ? ExactBound : UpperBound);
    e->depth = int16_t(nd);
    e->move = uint16_t(move);
    if (e->generation != g) {
        e->generation = g;
        ++t.filled;
    }
}

Move ttBestMove(uint64_t key) {
    const TranspositionTable& t = transpositionTable;
    if (t.buckets == nullptr) return 0;
    const uint32_t low = uint32_t(key);
    const uint32_t high = uint32_t(key >> 32);
    const TTBucket& b = t.buckets[low & t.mask];
    if (matches(b.slot[0], low, high)) return b.slot[0].move;
    if (matches(b.slot[1], low, high)) return b.slot[1].move;
    return 0;
}

int ttHashfull() {
    const TranspositionTable& t = transpositionTable;
    if (t.mask <= 500) return 0;
    const uint32_t perMille = t.filled / ((t.mask + 1) / 500);
    // Bucket counts that are not multiples of 500 would overshoot a full table.
    return perMille > 1000 ? 1000 : int(perMille);
}
