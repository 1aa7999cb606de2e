// Piece-square values including material, rebuilt from each root position.
#pragma once
#include <array>

#include "board/board.h"
#include "board/types.h"

using SquareTable = std::array<int, 64>;

// Static placement, by square from White's side. Knight, bishop and queen
// tables are the same for both colours; pawn, rook and king tables are read
// at 63 - s for a black man.
extern const SquareTable pawnTable;
extern const SquareTable knightTable;
extern const SquareTable bishopTable;
extern const SquareTable rookTable;
extern const SquareTable queenTable;
extern const SquareTable kingMiddleTable;
extern const SquareTable kingEndTable;

// Rebuilds the position's psqTable from its men; needs the piece lists, the
// pawn sets and the ply-0 attack tables of both colours. The side to move
// plays no part.
void prepareEvaluationTables(Position& pos, int side);
// Lists, root attack tables, evaluation tables, psq sums and key, in that order.
void prepareRootPosition(Position& pos, int side);

// 0 with much material left (> 3440) .. 10 (< 1360): how much the kings
// should care about the pawns.
int computeRootPhase(const Position& pos);
// 0: no pawn on s, or a pawn ahead of it on its file; 1: its path is covered
// by an enemy pawn; 2: its path is free.
int pawnPathState(const Position& pos, Square s);
// Weighted distance of king square k from the squares the pawns are heading for.
int kingPawnDistance(const Position& pos, Square k);
