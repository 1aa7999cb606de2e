// Precomputed geometry (ray walks, distances, lines) and the Zobrist keys.
#pragma once
#include <cstdint>

#include "board/types.h"

// Walk tables [type][origin][current]: nextSquare continues along the ray
// past an empty square, nextDirection jumps to the next ray (for pawns: the
// capture chain). Reaching the origin again ends the walk.
extern uint8_t nextSquare[8][64][64];
extern uint8_t nextDirection[8][64][64];
extern int distance[64][64];
extern int knightJump[64][64];

struct LineEntry {
    int32_t kind;  // 4 file/rank, 3 diagonal, 0 none
    int32_t step;  // from the first square towards the second
};
extern LineEntry lineTable[64][64];

extern const int squareColour[64];  // 1 dark (a1), 0 light

extern uint64_t pieceKey[2][8][64];
extern uint64_t castleKey[16];
extern uint64_t epKey[64];
extern uint32_t pawnKey[2][64];

// Builds keys, walk tables, distance, knightJump and lineTable; the keys are
// drawn only once per process.
void initTables();
// The pawn hash needs distances before the engine's own tables exist.
void buildDistanceTable();

uint32_t keyRandom();
