// Clock budget and the search's stop decisions.
#pragma once
#include <cstdint>

#include "board/types.h"

void computeBudget(int time, int increment, int movesToGo);
void setEasyMove(Move candidate);
void setCurrentNodes(uint64_t nodes);
int iterationStart(int depth);
int rootMoveStart(Move move, int index);
// The node and time limits at a poll of the search.
int limitReached(uint64_t nodes);
int ponderHitCheck();
// The stop part of a new single-line root result.
int rootLineStops(int score, int bound);
