// What the search does at each of its polls, and the engine's one search
// worker, whose host is the UCI front end.
#pragma once
#include <cstdint>

struct SearchWorker;

// Periodic statistics, one pending command, then the node and time limits;
// 1 when the search must stop.
int pollInput(uint64_t nodes);

// The worker the main loop searches with, built on first use.
SearchWorker& engineWorker();
