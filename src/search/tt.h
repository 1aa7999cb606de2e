// Transposition table: two-slot buckets indexed by the low key word, shared
// by every search thread.
#pragma once
#include <atomic>
#include <cstdint>

#include "board/types.h"

// An entry as the search sees it.
struct TTEntry {
    uint32_t keyLow;
    uint32_t keyHigh;
    int16_t score;
    uint16_t move;
    uint8_t type;  // 1 exact, 2 upper bound, 3 lower bound, 0 empty
    uint8_t generation;
    int16_t depth;  // horizon - ply (+64 for proven mates)
};

// An entry as stored: two words that threads read and write without locks.
// The first holds the key with the data folded in, so that a slot whose two
// words come from different writes does not match its key.
struct TTSlot {
    std::atomic<uint64_t> check;
    std::atomic<uint64_t> data;
};
static_assert(sizeof(TTSlot) == 16);

struct TTBucket {
    TTSlot slot[2];
};

struct TranspositionTable {
    TTBucket* buckets;
    uint32_t mask;
    // Entries written in the current search. With several threads an
    // increment may be lost now and then: it is only a fill estimate.
    std::atomic<uint32_t> filled;
    std::atomic<uint8_t> generation;
};

extern TranspositionTable transpositionTable;

// The data word of an entry, and back.
uint64_t ttPackData(const TTEntry& e);
// A slot read: its key is only what the two words say together.
TTEntry ttReadSlot(const TTSlot& s);
void ttWriteSlot(TTSlot& s, const TTEntry& e);

int ttResize(uint32_t kilobytes);
int ttClear();
void ttRelease();
void ttNewSearch();
bool ttProbe(uint64_t key, int bound, int ply, int horizon, int& score, Move& move);
// Starts loading the bucket of key so that a later probe finds it in cache.
inline void ttPrefetch(uint64_t key) {
    __builtin_prefetch(transpositionTable.buckets + (uint32_t(key) & transpositionTable.mask));
}
void ttStore(uint64_t key, int bound, int ply, int horizon, int score, Move move);
Move ttBestMove(uint64_t key);
int ttHashfull();
