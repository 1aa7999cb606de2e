// Make and unmake, null moves, repetition and root preparation.
#pragma once
#include <cstdint>

#include "board/types.h"

void makeMove(int side, int ply, MoveEntry* entry);
void unmakeMove(int ply);
void makeNullMove(int side, int ply);
void unmakeNullMove(int ply);
int isRepetition(int ply);
// The key makeMove would produce for side's move m, read from the board
// alone, for prefetching. An en-passant target the move creates is left out,
// and any 16-bit code is safe to pass, legal or not.
uint64_t keyAfterMove(int side, Move m);
// The key makeNullMove will give the position.
uint64_t keyAfterNullMove(int side);

// Keys of the game positions since the last irreversible move, set by the
// search driver before each search.
extern const uint64_t* gameKeyList;
extern const uint64_t* gameKeyListEnd;

void rebuildPieceLists();
// Board, piece lists, counts and material agree (checked by asserts and tests).
bool boardStateConsistent();
void sumPsqScore();
// Lists, root attack tables, evaluation tables, psq sums and key, in that order.
void prepareRootPosition(int side);
