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

// Horizon of the null-move child: `reduction` plies nearer, but one ply
// further out when that would leave the child at most one full-width ply.
int nullMoveHorizon(int horizon, int ply, int reduction);
// Brings the first entry with the greatest score in [position, end) to position.
void pickBest(MoveEntry* position, MoveEntry* end);
