// Static evaluation driver: statuses, draws, legality, material and phase.
#pragma once
#include "board/types.h"

enum EvalStatus : int {
    EvalNormal = 0,
    EvalTablebase = 1,
    EvalDraw = 2,
    EvalIllegal = 3,
    EvalLeaf = 4
};

extern int gamePhase;  // 0 opening .. 10 endgame
extern int positionalByPly[MaxPly];
extern int tbHits;

int computeGamePhase();
int drawScoreAtPly(int ply);
int evaluate(int side, int bound, int horizon, int ply, MoveEntry* lastMove, int& status);
int evaluateBareKing(int bare, int side);
int whiteKingSafeAfterMove(MoveWord lastMove);
int blackKingSafeAfterMove(MoveWord lastMove);
int bishopSquareColour(int colour);
