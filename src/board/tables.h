// Precomputed geometry (ray walks, distances, lines) and the Zobrist keys.
#pragma once
#include <cstdint>

#include "board/types.h"

struct LineEntry {
    int32_t kind;  // 4 file/rank, 3 diagonal, 0 none
    int32_t step;  // from the first square towards the second
};

// Built at compile time: nothing here changes while the engine runs.
struct PrecomputedTables {
    // Walk tables [type][origin][current]: nextSquare continues along the ray
    // past an empty square, nextDirection jumps to the next ray (for pawns:
    // the capture chain). Reaching the origin again ends the walk.
    uint8_t nextSquare[8][64][64];
    uint8_t nextDirection[8][64][64];
    int distance[64][64];
    int knightJump[64][64];
    LineEntry lineTable[64][64];
    // The Zobrist keys, drawn in a fixed order from a fixed seed (the book
    // file is keyed by them).
    uint64_t pieceKey[2][8][64];
    uint64_t castleKey[16];
    uint64_t epKey[64];
    uint32_t pawnKey[2][64];
};
extern const PrecomputedTables precomputedTables;

inline constexpr const auto& nextSquare = precomputedTables.nextSquare;
inline constexpr const auto& nextDirection = precomputedTables.nextDirection;
inline constexpr const auto& distance = precomputedTables.distance;
inline constexpr const auto& knightJump = precomputedTables.knightJump;
inline constexpr const auto& lineTable = precomputedTables.lineTable;
inline constexpr const auto& pieceKey = precomputedTables.pieceKey;
inline constexpr const auto& castleKey = precomputedTables.castleKey;
inline constexpr const auto& epKey = precomputedTables.epKey;
inline constexpr const auto& pawnKey = precomputedTables.pawnKey;

extern const int squareColour[64];  // 1 dark (a1), 0 light
