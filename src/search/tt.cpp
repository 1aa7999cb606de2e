#include "search/tt.h"

#include <cassert>
#include <cstdlib>
#include <new>

#include "platform/platform.h"

TranspositionTable transpositionTable;

namespace {

// Frees the block at process exit, after everything that might probe it.
struct TableRelease {
    ~TableRelease() { ttRelease(); }
} tableRelease;

constexpr int ExactBound = 1, UpperBound = 2, LowerBound = 3;
constexpr auto Relaxed = std::memory_order_relaxed;

// The data word: score in bits 0-15, move 16-31, type 32-39, generation
// 40-47, depth 48-63.
inline int scoreOf(uint64_t d) { return int16_t(uint16_t(d)); }
inline Move moveOf16(uint64_t d) { return Move(uint16_t(d >> 16)); }
inline int typeOf(uint64_t d) { return int(uint8_t(d >> 32)); }
inline uint8_t generationOf(uint64_t d) { return uint8_t(d >> 40); }
inline int depthOf(uint64_t d) { return int16_t(uint16_t(d >> 48)); }

// A slot as two words, read once each.
struct Snapshot {
    uint64_t check, data;
    explicit Snapshot(const TTSlot& s) : check(s.check.load(Relaxed)), data(s.data.load(Relaxed)) {}
    uint64_t key() const { return check ^ data; }
};

}  // namespace

uint64_t ttPackData(const TTEntry& e) {
    return uint64_t(uint16_t(e.score)) | uint64_t(e.move) << 16 | uint64_t(e.type) << 32 |
           uint64_t(e.generation) << 40 | uint64_t(uint16_t(e.depth)) << 48;
}

TTEntry ttReadSlot(const TTSlot& s) {
    const Snapshot v(s);
    const uint64_t key = v.key();
    return TTEntry{uint32_t(key),          uint32_t(key >> 32),       int16_t(scoreOf(v.data)),
                   uint16_t(moveOf16(v.data)), uint8_t(typeOf(v.data)), generationOf(v.data),
                   int16_t(depthOf(v.data))};
}

void ttWriteSlot(TTSlot& s, const TTEntry& e) {
    const uint64_t data = ttPackData(e);
    const uint64_t key = uint64_t(e.keyHigh) << 32 | e.keyLow;
    s.data.store(data, Relaxed);
    s.check.store(key ^ data, Relaxed);
}

int ttResize(uint32_t kilobytes) {
    TranspositionTable& t = transpositionTable;
    if (kilobytes == 0) return t.buckets ? 0 : -1;
    ttRelease();

    const uint32_t limit = (kilobytes * 1024u) / uint32_t(sizeof(TTBucket));
    uint32_t count = 1;
    while (count <= limit / 2) count *= 2;

    // A bucket must never straddle two cache lines: one line fill per probe.
    void* block = allocateLargeZeroed(size_t(count) * sizeof(TTBucket));
    if (block == nullptr) return -1;
    // Constructing the buckets touches every page now: a first touch in a
    // search would zero a whole large page there, and a short search
    // touches nearly all of them.
    t.buckets = new (block) TTBucket[count]{};
    t.mask = count - 1;
    t.generation.store(1, Relaxed);
    t.filled.store(0, Relaxed);
    return int(kilobytes);
}

// Only between searches: no other thread reads the table then.
int ttClear() {
    TranspositionTable& t = transpositionTable;
    if (t.buckets == nullptr) return 0;
    for (uint32_t i = 0; i <= t.mask; ++i)
        for (TTSlot& s : t.buckets[i].slot) {
            s.check.store(0, Relaxed);
            s.data.store(0, Relaxed);
        }
    t.generation.store(1, Relaxed);
    return 1;
}

void ttRelease() {
    TranspositionTable& t = transpositionTable;
    releaseLarge(t.buckets, (size_t(t.mask) + 1) * sizeof(TTBucket));
    t.buckets = nullptr;
    t.mask = 0;
    t.filled.store(0, Relaxed);
    t.generation.store(0, Relaxed);
}

void ttNewSearch() {
    TranspositionTable& t = transpositionTable;
    // 0 marks never-written entries, so the current generation skips it.
    const uint8_t g = t.generation.load(Relaxed);
    t.generation.store(g >= 255 ? 1 : uint8_t(g + 1), Relaxed);
    t.filled.store(0, Relaxed);
}

bool ttProbe(uint64_t key, int bound, int ply, int horizon, int& score, Move& move) {
    const TranspositionTable& t = transpositionTable;
    assert(t.buckets != nullptr);
    const TTBucket& b = t.buckets[uint32_t(key) & t.mask];
    uint64_t d;
    if (const Snapshot s0(b.slot[0]); s0.key() == key) {
        d = s0.data;
    } else if (const Snapshot s1(b.slot[1]); s1.key() == key) {
        d = s1.data;
    } else {
        return false;
    }

    // Mate scores are held relative to the node that stored them.
    int s = scoreOf(d);
    if (s > MateThreshold) s -= ply;
    if (s < -MateThreshold) s += ply;

    move = moveOf16(d);
    if (horizon - ply > depthOf(d)) return false;

    bool hit;
    const int type = typeOf(d);
    if (type == ExactBound)
        hit = true;
    else if (type == LowerBound)
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

    TTBucket& b = t.buckets[uint32_t(key) & t.mask];
    const uint8_t g = t.generation.load(Relaxed);
    const Snapshot s0(b.slot[0]);
    TTSlot* e;
    uint8_t previous;  // the generation of the slot written
    if (generationOf(s0.data) == g && nd < depthOf(s0.data)) {
        e = &b.slot[1];
        previous = generationOf(b.slot[1].data.load(Relaxed));
    } else if (s0.key() == key) {
        e = &b.slot[0];
        previous = generationOf(s0.data);
    } else {
        const bool zeroCurrent = generationOf(s0.data) == g;
        const bool oneCurrent = generationOf(b.slot[1].data.load(Relaxed)) == g;
        const uint32_t filled = t.filled.load(Relaxed);
        if (zeroCurrent && !oneCurrent) t.filled.store(filled + 1, Relaxed);
        // Entries counted before a wrap or a clear can fall out uncounted.
        if (!zeroCurrent && oneCurrent && filled > 0) t.filled.store(filled - 1, Relaxed);
        b.slot[1].data.store(s0.data, Relaxed);
        b.slot[1].check.store(s0.check, Relaxed);
        e = &b.slot[0];
        previous = generationOf(s0.data);
    }

    const TTEntry entry{uint32_t(key),
                        uint32_t(key >> 32),
                        int16_t(s),
                        uint16_t(move),
                        uint8_t(s > x ? LowerBound : s == x ? ExactBound : UpperBound),
                        g,
                        int16_t(nd)};
    ttWriteSlot(*e, entry);
    if (previous != g) t.filled.store(t.filled.load(Relaxed) + 1, Relaxed);
}

Move ttBestMove(uint64_t key) {
    const TranspositionTable& t = transpositionTable;
    if (t.buckets == nullptr) return 0;
    const TTBucket& b = t.buckets[uint32_t(key) & t.mask];
    if (const Snapshot s0(b.slot[0]); s0.key() == key) return moveOf16(s0.data);
    if (const Snapshot s1(b.slot[1]); s1.key() == key) return moveOf16(s1.data);
    return 0;
}

int ttHashfull() {
    const TranspositionTable& t = transpositionTable;
    if (t.mask <= 500) return 0;
    const uint32_t perMille = t.filled.load(Relaxed) / ((t.mask + 1) / 500);
    // Bucket counts that are not multiples of 500 would overshoot a full table.
    return perMille > 1000 ? 1000 : int(perMille);
}
