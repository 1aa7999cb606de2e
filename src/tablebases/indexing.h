// Position indexing of tablebase files: symmetry, king-pair and enumeration
// tables, and the index function of every class and side to move.
#pragma once
#include <cstdint>

#include "tablebases/classes.h"

// Index function of a class and side to move (0 = the side named first);
// classes whose indices are computed alike share one function. Null for row 0.
IndexFunction classIndexFunction(int classNumber, int side);

// One past the largest index a placement of the class can produce. A file
// may be shorter when its last indices belong to illegal placements only.
// Needs buildIndexTables().
int64_t indexRange(int classNumber, int side);

// King-pair number of two normalised king squares (reference king first):
// pawnless pairs 0..461, pawn pairs 0..1805, 4000 when there is no such pair.
int kingPairNumber(bool pawns, int referenceKing, int otherKing);
