// The helper search threads of the "Threads" option. The main thread runs
// the search that decides the move, the time and the output; each helper
// searches the same root with a worker of its own, quietly, filling the
// shared transposition table. Helpers are created when the option changes
// and wait, parked, between searches.
#pragma once
#include <cstdint>

struct SearchWorker;

// The largest "Threads" value: 256, or the machine's hardware threads if more.
int maxSearchThreads();
// Threads searching, the main one included (the option's value in effect).
int searchThreadCount();
// Between searches only: makes count - 1 helpers (count clamped to
// 1..maxSearchThreads()). False when the memory for them could not be had;
// the engine then searches with as many as it got.
bool setSearchThreads(int count);
// The main search's first iteration is starting: every helper searches the
// root of `main` with the same game keys and mate target.
void startHelpers(const SearchWorker& main, const uint64_t* gameKeys, int mateTarget);
// Raises the stop signal if a helper runs and waits until all are parked.
// Returns at once when none was started.
void stopHelpers();
// True from startHelpers to the end of stopHelpers.
bool helpersRunning();
// The helpers' nodes and tablebase hits in the current (or last) search;
// the node figures are those of their latest poll, about 10 ms old.
uint64_t helperNodes();
int helperTbHits();
// Ends every helper thread (process exit).
void shutdownSearchThreads();
