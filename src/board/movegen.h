// Move generators with ordering scores.
#pragma once
#include <cstdint>

#include "board/board.h"
#include "board/types.h"

// What the generators score with besides the position: the table move of
// the node, the killers and the best move of each ply, and the history.
// The search owns and updates it.
struct MoveOrdering {
    Move ttMove;
    Move killerMove1[MaxPly];
    Move killerMove2[MaxPly];
    Move plyBestMove[MaxPly];
    int32_t historyTable[2][64][64];
};

int generateMoves(Position& pos, MoveOrdering& ordering, MoveEntry* list, int side, int ply);
// The same moves in the same order, without ordering scores (perft needs none).
int generateMovesUnscored(Position& pos, MoveEntry* list, int side, int ply);
int generateRootMoves(Position& pos, MoveOrdering& ordering, MoveEntry* list, int side, int ply);
int generateCaptures(Position& pos, MoveOrdering& ordering, MoveEntry* list, int side, int ply, int withChecks);
int generateChecks(Position& pos, MoveEntry* list, int side, int ply);
