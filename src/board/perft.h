// Move-path enumeration ("perft") through the engine's own generators,
// make/unmake and legality rule; the reference check for all of them.
#pragma once
#include <cstdint>

#include "board/board.h"
#include "board/types.h"

// Room for the legal moves of any root position.
constexpr int MaxRootMoves = 256;

struct PerftRootResult {
    Move move;
    uint64_t nodes;
};

// Leaf count at depth plies below the position, which must have been set up
// with prepareRootPosition. depth 0 counts the position itself.
uint64_t perft(Position& pos, int side, int depth);

// As perft, and one result per legal root move in `results` (at most
// MaxRootMoves); *resultCount receives their number.
uint64_t perftDivide(Position& pos, int side, int depth, PerftRootResult* results, int* resultCount);
