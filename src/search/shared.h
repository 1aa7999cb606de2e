// What the search threads share. Everything else a search reads or writes
// belongs to its own SearchWorker.
//
// - the transposition table: transpositionTable (search/tt.h);
// - the tablebase registry and its block cache: tablebaseRegistry
//   (tablebases/registry.h), read by every probe;
// - the option values the search reads: searchEngine, below;
// - the stop signal and the poll request, below.
// A helper thread reads the option values from a copy taken when its search
// starts, so that "setoption" on the main thread never races with it.
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

// Raised to end the search; every level of every thread then returns at
// once. Read relaxed: nothing else travels with it.
extern std::atomic<int> stopFlag;
inline bool stopRequested() { return stopFlag.load(std::memory_order_relaxed) != 0; }
// Raised by the throttle worker every 10 ms: the main search should poll.
// Each helper thread has a flag of its own (SearchWorker::pollSignal).
extern std::atomic<int> pollRequest;
