#include "search/search.h"

#include <cstring>

#include "board/makemove.h"
#include "board/tables.h"
#include "search/ordering.h"

SearchEngine searchEngine;
MoveEntry moveBuffer[MoveBufferSize];
int stopFlag;
std::atomic<int> pollRequest{0};
uint32_t nodeCount;
int iterationDepthLimit = 64;

void initSearchEngine() {
    searchEngine.tablebaseMaxMen = 0;
    searchEngine.drawScore = 0;
    searchEngine.sideToMove = 0;
    searchEngine.nullMoveReduction = 3;
    initTables();
}

void prepareSearch(int side) {
    prepareRootPosition(side);
    clearOrderingTables();
    std::memset(moveBuffer, 0, sizeof moveBuffer);
    nodeCount = 0;
}

// Placeholder until the search lands: an empty search that finds no move.
void think(const uint64_t* gameKeys, int mateTarget, int multiPv) {
    (void)gameKeys;
    (void)mateTarget;
    (void)multiPv;
}

int legalRootMoves(Move* out, uint32_t& inCheck) {
    out[0] = 0;
    inCheck = 0;
    return 0;
}
