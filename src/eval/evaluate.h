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
// Score from side's view; status receives an EvalStatus. lastMove may get
// CheckFlag set (pawn endings find the check here).
int evaluate(int side, int bound, int horizon, int ply, MoveEntry* lastMove, int& status);
int evaluateBareKing(int bare, int side);
int whiteKingSafeAfterMove(MoveWord lastMove);
int blackKingSafeAfterMove(MoveWord lastMove);
int bishopSquareColour(int colour);
// The score moved x towards colour `towards`; whatever the other colour
// still has left is then halved (rook and minor against rook).
int shiftScoreTowards(int score, int towards, int side, int x);
// 6 per step from the nearest edge on each axis: 0 in a corner, 36 in the centre.
int bareKingCentre(Square s);

// Where evaluate stopped.
enum class EvalExit : int {
    NoMatingMaterial,
    FiftyMoves,
    Illegal,
    Tablebase,
    BareKing,
    PawnEnding,
    MateSearch,
    RecogniserDraw,
    Full
};

enum class MinorScaling : int { None, OppositeBishops, SameBishops, BishopKnight };

// What each step added, for people reading an evaluation; every score is
// from the side to move's view and 0 for a step that did not run.
struct EvalBreakdown {
    EvalExit exit;
    int material;  // psqScore difference: material and placement
    int tempo;
    int pawnStructure;
    int pawnEnding;
    int passedPawnRace;
    int kingShelter;
    int bishopPair;
    int pieces;
    bool piecesComputed;  // false when the lazy estimate stood in
    int rookMinorShift;   // change made by the rook-and-minor rule
    MinorScaling minorScaling;
    int minorScalingChange;
    int minorFactor;  // sixteenths kept with opposite bishops
    bool whiteCannotWin;
    bool blackCannotWin;
    int recogniserChange;
};

// evaluate, also filling the breakdown.
int evaluateExplained(int side, int bound, int horizon, int ply, MoveEntry* lastMove, int& status,
                      EvalBreakdown& breakdown);
