// Piece terms from the attack maps, and the king shelter with its cache.
#pragma once
#include <cstdint>

#include "board/types.h"

struct KingShelterEntry {
    uint32_t key;
    int32_t value;
};

// Each colour's piece terms (its men, accumulators and development).
struct PieceTotals {
    int total[2];  // [colour], each from its own side's view
};

extern const int lowMobilityPenalty[2];
extern const int queenLowMobilityPenalty[2];
extern const int kingDangerTable[8];
extern const int knightOutpostTable[64];  // from White's side; Black reads 63 - s
