// The recursive search: full-width nodes, null move, extensions and
// quiescence in one fail-soft function that tests a single bound.
#pragma once
#include "board/types.h"

// tieSide: who wins a result exactly equal to the bound.
constexpr int NoTieSide = 2;

// Most entries one generator call can write: 15 men moving like queens
// (27 squares each) plus a king with both castlings. A node starts its list
// only when this much room is left in moveBuffer.
constexpr int MaxGeneratedMoves = 15 * 27 + 10;

// Highest moveBuffer index written by a node's generator since the last
// reset (0 = none), for tests and benchmarks.
extern int moveBufferPeak;

int alphaBeta(int side, int ply, int horizon, MoveEntry* list, MoveEntry* parentEntry, int bound,
              int extensionBudget, int materialSwing, int tieSide, int checkCount);

// Step 7's conditions: a full-width node reached by a real move, static
// score above the bound, no mate search, the option on, enough material, not
// in check. H is the node's working horizon.
bool nullMoveAllowed(int side, int ply, int H, const MoveEntry* parentEntry, int e, int bound);
// Horizon of the null-move child: `reduction` plies nearer, but one ply
// further out when that would leave the child at most one full-width ply.
int nullMoveHorizon(int horizon, int ply, int reduction);

// Enhanced transposition cutoff probe of a child not yet made, known by its
// key and fifty-move count: 0 for a repetition, the table score on a hit,
// InfiniteScore otherwise.
int probeChildOf(uint64_t key, int fifty, int ply, int horizon, int bound);

// 1 when, were `side` to pass, the opponent has a safe check that leaves the
// king of `side` no flight square.
int mateThreat(int ply, int side);

// Move ordering updates made by the search.
void updateKillers(Move move, int ply);
void rewardHistory(int side, Move move, int depth);
// Brings the first entry with the greatest score in [position, end) to position.
void pickBest(MoveEntry* position, MoveEntry* end);
