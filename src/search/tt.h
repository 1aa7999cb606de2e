// Transposition table: two-slot buckets indexed by the low key word.
#pragma once
#include <cstdint>

#include "board/types.h"

struct TTEntry {
    uint32_t keyLow;
    uint32_t keyHigh;
    int16_t score;
    uint16_t move;
    uint8_t type;  // 1 exact, 2 upper bound, 3 lower bound, 0 empty
    uint8_t generation;
    int16_t depth;  // horizon - ply (+64 for proven mates)
};
static_assert(sizeof(TTEntry) == 16);

struct TTBucket {
    TTEntry slot[2];
};

struct TranspositionTable {
    TTBucket* buckets;
    uint32_t mask;
    uint32_t filled;
    uint8_t generation;
};

extern TranspositionTable transpositionTable;

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
