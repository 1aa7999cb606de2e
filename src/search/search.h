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
// Legal moves of the loaded position, 0-terminated; out needs room for
// MaxGeneratedMoves + 1 entries. inCheck: non-zero when the side to move is
// in check. Returns the count.
int legalRootMoves(Move* out, uint32_t& inCheck);
// A legal move of the last think's root list (0 when there was none): the
// answer of a search stopped before any root move was finished.
Move firstRootMove();

// The move that stands out by more than 200 points in a scored root list,
// or 0 (a recapture of it may end a clock search early).
Move earlyStopCandidate(const MoveEntry* list, int count);
// Ply limit of a search for the mateTarget passed to think (64 = no mate search).
int mateSearchLimit(int mateTarget);
// Why the loaded position (pieces lists built) cannot be searched: the side
// to move could take the enemy king. nullptr when it can.
const char* loadedPositionProblem();
// The search needs a table; when none could be allocated, a smaller one.
void ensureTranspositionTable();
