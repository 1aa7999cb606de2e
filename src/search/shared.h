// What the search threads share. Everything else a search reads or writes
// belongs to its own SearchWorker.
//
// - the transposition table: transpositionTable (search/tt.h);
// - the tablebase registry and its block cache: tablebaseRegistry
//   (tablebases/registry.h), read by every probe;
// - the option values the search reads: searchEngine, below;
// - the stop signal and the poll request, below.
// The opening book is consulted by the front end before a search starts,
// never by a search, and the ponder state is the front end's.
#pragma once
#include <atomic>

#include "search/tt.h"
#include "tablebases/registry.h"

// The engine's search settings, changed only by "setoption" and by loading a
// position (the side to move).
struct SearchEngine {
    int tablebaseMaxMen;
    int drawScore;
    int sideToMove;
    int nullMoveReduction;
};
extern SearchEngine searchEngine;

// Raised to end the search; every level then returns at once.
extern int stopFlag;
// Raised by the throttle worker every 10 ms: the search should poll.
extern std::atomic<int> pollRequest;
