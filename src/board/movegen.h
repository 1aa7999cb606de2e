// Move generators with ordering scores.
#pragma once
#include <cstdint>

#include "board/attacks.h"
#include "board/types.h"

extern MoveEntry* moveCursor;
extern uint32_t* ownAttacks;
extern uint32_t* oppAttacks;
extern int lastToSquare;
extern uint32_t evasionMark[64];

int generateMoves(MoveEntry* list, int side, int ply);
// The same moves in the same order, without ordering scores (perft needs none).
int generateMovesUnscored(MoveEntry* list, int side, int ply);
int generateRootMoves(MoveEntry* list, int side, int ply);
int generateCaptures(MoveEntry* list, int side, int ply, int withChecks);
int generateChecks(MoveEntry* list, int side, int ply);
