// Independent proof of a plain table: every legal position's stored result
// must follow from the stored results of its successors, found by a move
// generation of its own (not the generator's).
#pragma once
#include <string>

// Prints a summary (and the first bad positions as FENs) on stdout; false
// when the table is wrong or its files (or a smaller class's) are missing.
// The placements are shared out among threads; the report is the same for
// any number. Holds a copy of the class's bytes laid out by square (see
// DenseTable): 336 MB for a five-man class without pawns, 1.07 GB with;
// besides it, one side to move at a time, only the files (plain or
// compressed) that side's moves read.
bool verifyTablebase(const std::string& dir, const std::string& className, int threads = 1);
