// The engine object and the search driver.
#pragma once
#include <atomic>
#include <cstdint>

#include "board/types.h"

struct SearchEngine {
    int tablebaseMaxMen;
    int drawScore;
    int sideToMove;
    int nullMoveReduction;
};
extern SearchEngine searchEngine;

constexpr int MoveBufferSize = 2000;
extern MoveEntry moveBuffer[MoveBufferSize];

extern int stopFlag;
extern std::atomic<int> pollRequest;  // raised by the throttle worker every 10 ms
extern uint32_t nodeCount;
// 64 in a normal search; the ply limit while looking for a mate.
extern int iterationDepthLimit;

// Construction: settings to their defaults, precomputed tables built.
void initSearchEngine();
void prepareSearch(int side);
void think(const uint64_t* gameKeys, int mateTarget, int multiPv);
int legalRootMoves(Move* out, uint32_t& inCheck);
