// What the search does at each of its polls.
#pragma once
#include <cstdint>

// Periodic statistics, one pending command, then the node and time limits;
// 1 when the search must stop.
int pollInput(uint64_t nodes);
