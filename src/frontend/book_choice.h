// The book's say in a go: which successors of the game's position it holds,
// and the weighted draw among them.
#pragma once
#include "book/book.h"
#include "board/types.h"

struct SearchWorker;

// Successors of the game record's current position that the book holds with
// a positive weight, in generator order; false when the position itself is
// not in the book. Leaves another position in the worker.
bool collectBookCandidates(SearchWorker& worker, BookCandidate* out, int& count);
// "e2e4 61%, d2d4 38%, g1f3 <1%" for a sorted list.
void bookShareText(const BookCandidate* list, int count, char* out, int size);
// The move to play from the book for the current go, or 0.
Move probeBook(SearchWorker& worker);
