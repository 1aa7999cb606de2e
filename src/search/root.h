// Iterative deepening over the root list: single-line and MultiPV searches
// with zero-window tests, and the principal variation read from the table.
#pragma once
#include <cstdint>

#include "board/types.h"

constexpr int PvSlots = 256;
constexpr int PvMoveLimit = 32;

// First two moves of the last PV built; they survive from search to search.
extern Move lastPvMove;
extern Move lastPvReply;

void searchRoot(int side, MoveEntry* list, int count, const uint64_t* gameKeys, const uint64_t* gameKeysEnd,
                int limit);
// Iterations 1..lastIteration (at most 64); a mate search passes its ply
// limit so that it ends like the single-line search.
void searchRootMultiPv(int side, MoveEntry* list, int count, const uint64_t* gameKeys,
                       const uint64_t* gameKeysEnd, int lines, int lastIteration = 64);

// +300 for checking moves, then a (not stable) exchange sort by score.
void sortRootMoves(MoveEntry* list, int count);

// Fills pv (PvSlots entries) with rootMove and the table moves that follow
// it; rootMove must be made at ply 0, and `side` is the side that made it.
// Generates at listEnd. Returns the number of moves.
int collectPv(Move* pv, MoveEntry* listEnd, int side, Move rootMove);
