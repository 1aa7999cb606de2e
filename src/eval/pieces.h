// Piece terms from the attack maps, and the king shelter with its cache.
#pragma once
#include <cstdint>

#include "board/types.h"

struct KingShelterEntry {
    uint32_t key;
    int32_t value;
};
extern KingShelterEntry kingShelterCache[1024];

int evaluatePieces(int side, int ply);
int evaluateKingShelter(int side);
int kingShelter(Square king, int colour);
