// Iterative deepening over the root list: single-line and MultiPV searches
// with zero-window tests, and the principal variation read from the table
// (SearchWorker::searchRoot, searchRootMultiPv and collectPv).
#pragma once
#include "board/types.h"

// +300 for checking moves, then a (not stable) exchange sort by score.
void sortRootMoves(MoveEntry* list, int count);
