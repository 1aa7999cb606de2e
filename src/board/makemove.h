// Make and unmake, null moves, repetition and root preparation.
#pragma once
#include <cstdint>

#include "board/types.h"

void makeMove(int side, int ply, MoveEntry* entry);
void unmakeMove(int ply);
void makeNullMove(int side, int ply);
void unmakeNullMove(int ply);
int isRepetition(int ply);
// The same test for a position at ply with the given key and fifty-move count.
int isRepetitionOf(uint64_t key, int ply, int fifty);
// The key makeMove would produce for side's move m, read from the board
// alone. Any 16-bit code is safe to pass, legal or not.
uint64_t keyAfterMove(int side, Move m);
// A make and unmake of a capture leave the victim last in its colour's list;
// this applies that reordering alone, for code that skips the make.
void reorderAsAfterCapture(int side, MoveWord m);
// The fifty-move count makeMove would leave after m.
int fiftyCountAfter(Move m);
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
