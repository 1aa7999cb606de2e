// Piece-square values including material, rebuilt from each root position.
#pragma once
#include "board/types.h"

extern int psqTable[16][64];  // [colour * 8 + piece][square]

void prepareEvaluationTables(int side);
